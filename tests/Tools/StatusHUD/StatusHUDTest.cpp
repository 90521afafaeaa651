#include "Tools/StatusHUD/StatusHUD.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>

#include "Tools/StatusHUD/ProgressIndicatorLayer.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/ClickCountingView.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Records the HUD's notifications in order.
class NotificationLog {
  public:
    explicit NotificationLog(const StatusHUD& hud) {
        NotificationCenter& centre = NotificationCenter::defaultCenter();
        for (const char* name :
             {StatusHUD::willAppearNotification, StatusHUD::didAppearNotification,
              StatusHUD::willDisappearNotification, StatusHUD::didDisappearNotification,
              StatusHUD::didReceiveMouseDownEventNotification}) {
            observers_.emplace_back(centre, centre.addObserver(name, &hud, [this](const auto& n) {
                names.push_back(n.name);
            }));
        }
    }
    std::vector<std::string> names;

  private:
    std::vector<ScopedObserver> observers_;
};

int bottomOf(const QRect& rect) {
    return rect.y() + rect.height();
}

class StatusHUDTest : public ::testing::Test {
  protected:
    StatusHUDTest() {
        host.resize(750, 500);
        test::fillWhite(host);
        host.show();
        hud.containerView = &host;
    }

    // Moves time on and runs what became due on the main queue.
    void settle(Clock::Duration by = milliseconds(300)) {
        clock.clock().advance(by);
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }

    void click(StatusHUD& target) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), QPointF(5, 5),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target.view(), &press);
    }

    QColor pixel(QPointF at) { return host.grab().toImage().pixelColor(at.toPoint()); }

    ScopedManualClock clock;
    test::ClickCountingView host;
    StatusHUD hud;
};

TEST_F(StatusHUDTest, SpinnerBoxGeometryInEachPosition) {
    struct Case {
        StatusHUDPosition position;
        QRect box;
        QRect spinner;
    };
    // 750 × 500 content: a spinner without text makes a 96 × 100 box, H/5 = 100 off centre.
    const Case cases[] = {
        {StatusHUDPosition::bottom, QRect(327, 300, 96, 100), QRect(345, 318, 60, 60)},
        {StatusHUDPosition::center, QRect(327, 200, 96, 100), QRect(345, 218, 60, 60)},
        {StatusHUDPosition::top, QRect(327, 100, 96, 100), QRect(345, 118, 60, 60)},
    };
    for (const Case& c : cases) {
        hud.position = c.position;
        hud.show(QString(), StatusHUDMode::indeterminate);
        EXPECT_EQ(hud.size(), QSizeF(96, 100));
        EXPECT_EQ(hud.boxRect(), QRectF(c.box));
        ASSERT_NE(hud.indicator(), nullptr);
        EXPECT_EQ(hud.indicator()->geometry(), c.spinner);
        EXPECT_EQ(hud.view()->geometry(), host.rect());
        hud.hide(false);
    }
}

TEST_F(StatusHUDTest, TextBoxGeometryForShortAndLongTextsInEachPosition) {
    const QString shortText = QStringLiteral("登录中... Loading");
    QString longText;
    for (int i = 0; i < 12; ++i) longText += QStringLiteral("网络连接失败，请检查网络设置后重试。");
    const QSizeF measured = QFontMetricsF(hud.font).size(0, shortText);
    const double tw = std::ceil(measured.width());
    const double th = std::ceil(measured.height());

    for (StatusHUDPosition position :
         {StatusHUDPosition::top, StatusHUDPosition::center, StatusHUDPosition::bottom}) {
        hud.position = position;
        const double offset = position == StatusHUDPosition::top      ? -100
                              : position == StatusHUDPosition::bottom ? 100
                                                                      : 0;
        hud.show(shortText, StatusHUDMode::text);
        EXPECT_EQ(hud.size(), QSizeF(tw + 46, th + 36));
        EXPECT_NEAR(hud.boxRect().center().y(), 250 + offset, 0.5);
        EXPECT_NEAR(hud.boxRect().center().x(), 375, 0.5);
        const QRect label = hud.statusLabel()->geometry();
        EXPECT_EQ(label.width(), tw + 10);
        EXPECT_EQ(label.y() - hud.boxRect().top(), 18);
        EXPECT_EQ(hud.boxRect().bottom() - bottomOf(label), 18);

        // Wider than the content allows: the label gets W − 4 × margin, the text stays whole.
        hud.show(longText, StatusHUDMode::text);
        EXPECT_EQ(hud.statusLabel()->width(), 750 - 72);
        EXPECT_EQ(hud.size().width(), 750 - 72 + 36);
        EXPECT_EQ(hud.statusLabel()->text(), longText);

        // Spinner above text: gaps of 18 above, 12 between and 14 below.
        hud.show(shortText, StatusHUDMode::indeterminate);
        const QRect spinner = hud.indicator()->geometry();
        const QRect withSpinner = hud.statusLabel()->geometry();
        EXPECT_EQ(hud.size(), QSizeF(std::max(60.0, tw + 10) + 36, th + 104));
        EXPECT_EQ(spinner.y() - hud.boxRect().top(), 18);
        EXPECT_EQ(withSpinner.y() - bottomOf(spinner), 12);
        EXPECT_EQ(hud.boxRect().bottom() - bottomOf(withSpinner), 14);
        hud.hide(false);
    }
}

TEST_F(StatusHUDTest, IconModesReserveTheSpinnerHeight) {
    hud.show(QString(), StatusHUDMode::success);
    EXPECT_EQ(hud.indicator(), nullptr);
    EXPECT_EQ(hud.size(), QSizeF(36, 100));  // height kept for the icon, no width of its own
}

TEST_F(StatusHUDTest, DisplayDurationCountsWhatTheReaderSees) {
    const auto repeat = [](const QString& unit, int times) { return unit.repeated(times); };
    struct Case {
        QString text;
        double seconds;
    };
    const Case cases[] = {
        {QString(), 2},
        {repeat("a", 25), 2},
        {repeat("a", 30), 2.3},
        {repeat("a", 50), 3.5},
        {repeat("a", 75), 5},
        {repeat("a", 100), 5},
        {repeat(QStringLiteral("网"), 30), 2.3},
        {repeat(QStringLiteral("👍🏽"), 30), 2.3},  // emoji with a skin-tone modifier
        {repeat(QStringLiteral("👨‍👩‍👧"), 30),
         2.3},                                         // a family joined into one picture
        {repeat(QStringLiteral("🇨🇳"), 30), 2.3},       // a flag
        {repeat(QStringLiteral("e\u0301"), 30), 2.3},  // a letter and its accent
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(StatusHUD::displayDuration(c.text), c.seconds, 1e-9) << c.text.toStdString();
    }
}

TEST_F(StatusHUDTest, DisplayDurationKeepsWithinTheSharedHUDsDismissIntervals) {
    StatusHUD& shared = StatusHUD::shared();
    shared.minimumDismissTimeInterval = 3;
    shared.maximumDismissTimeInterval = 4;
    EXPECT_NEAR(StatusHUD::displayDuration(QString()), 3, 1e-9);
    EXPECT_NEAR(StatusHUD::displayDuration(QString("a").repeated(55)), 3.8, 1e-9);
    EXPECT_NEAR(StatusHUD::displayDuration(QString("a").repeated(100)), 4, 1e-9);
    shared.minimumDismissTimeInterval = StatusHUD::kMinimumDismissSeconds;
    shared.maximumDismissTimeInterval = StatusHUD::kMaximumDismissSeconds;
}

TEST_F(StatusHUDTest, AnimatedAppearAndHideAnnounceThemselvesInOrder) {
    NotificationLog log(hud);
    hud.show(QStringLiteral("加载中"), StatusHUDMode::text);
    EXPECT_EQ(log.names, (std::vector<std::string>{"StatusHUD.willAppear"}));
    EXPECT_EQ(hud.view()->parentWidget(), &host);
    EXPECT_LT(hud.alphaValue(), 1);

    settle();
    EXPECT_EQ(hud.alphaValue(), 1);
    hud.hide(true);
    EXPECT_FALSE(hud.isHidden());  // still fading
    settle();
    EXPECT_EQ(log.names,
              (std::vector<std::string>{"StatusHUD.willAppear", "StatusHUD.didAppear",
                                        "StatusHUD.willDisappear", "StatusHUD.didDisappear"}));
    EXPECT_TRUE(hud.isHidden());
    EXPECT_EQ(hud.view()->parentWidget(), nullptr);
    EXPECT_TRUE(hud.statusLabel()->text().isEmpty());
    EXPECT_TRUE(hud.useAnimation());
}

TEST_F(StatusHUDTest, HideDelayedWithZeroHidesWithoutAFade) {
    NotificationLog log(hud);
    int completions = 0;
    hud.completionHandler = [&] { ++completions; };

    hud.show(QStringLiteral("好"), StatusHUDMode::text);
    settle();
    log.names.clear();
    hud.hideDelayed(0.0);
    EXPECT_EQ(log.names,
              (std::vector<std::string>{"StatusHUD.willDisappear", "StatusHUD.didDisappear"}));
    EXPECT_TRUE(hud.isHidden());
    EXPECT_FALSE(hud.useAnimation());
    EXPECT_EQ(completions, 1);

    for (std::optional<double> fading : {std::optional<double>(), std::optional<double>(1.0)}) {
        hud.show(QStringLiteral("好"), StatusHUDMode::text);
        settle();
        hud.hideDelayed(fading);
        EXPECT_FALSE(hud.isHidden());
        settle();
        EXPECT_TRUE(hud.isHidden());
        EXPECT_TRUE(hud.useAnimation());
    }
    EXPECT_EQ(completions, 3);
}

// A message wider than the box may be wraps (between words, or between characters inside a
// word too long for a line) and the box grows to hold every line.
TEST_F(StatusHUDTest, ALongMessageWrapsInsideTheBox) {
    const QString cases[] = {QString(120, QChar(0x5B57)),    // CJK characters, no spaces
                             QString(90, QLatin1Char('W')),  // one word longer than a line
                             QStringLiteral("word ").repeated(40)};
    for (const QString& text : cases) {
        SCOPED_TRACE(text.left(8).toStdString());
        hud.show(text, StatusHUDMode::text);
        QLabel* label = hud.statusLabel();
        const QFontMetricsF metrics(label->font());
        EXPECT_LE(label->width(), host.width() - 4 * hud.margin);
        EXPECT_GE(label->height(), 2 * metrics.lineSpacing());
        EXPECT_TRUE(hud.boxRect().contains(QRectF(label->geometry())));
        // Every character is drawn within the label: the lines add up to the whole text.
        const double lineWidth = label->width();
        EXPECT_LE(metrics.horizontalAdvance(text) / lineWidth,
                  label->height() / metrics.lineSpacing() + 0.01);
        hud.hide(false);
    }
}

TEST_F(StatusHUDTest, OnlyWithoutAMaskDoesAClickGoThrough) {
    NotificationLog log(hud);
    const StatusHUDMaskType masks[] = {StatusHUDMaskType::none, StatusHUDMaskType::clear,
                                       StatusHUDMaskType::black,
                                       StatusHUDMaskType::customColor(Color::grey(0, 0.3))};
    const int clicksSoFar[] = {1, 1, 1, 1};  // only the first, unmasked, click reaches the content
    for (std::size_t i = 0; i < std::size(masks); ++i) {
        hud.maskType = masks[i];
        hud.show(QStringLiteral("请稍候"), StatusHUDMode::text);
        click(hud);
        EXPECT_EQ(host.clicks, clicksSoFar[i]) << i;
        hud.hide(false);
    }
    EXPECT_EQ(std::count(log.names.begin(), log.names.end(), "StatusHUD.didReceiveMouseDownEvent"),
              4);
}

// The click of an unmasked HUD goes to the view it covers, never to a control under it.
TEST_F(StatusHUDTest, WithoutAMaskAClickReachesTheHostButNotAButtonUnderTheHUD) {
    QPushButton button(&host);
    button.setGeometry(0, 0, 100, 40);
    button.show();
    int pressed = 0;
    QObject::connect(&button, &QPushButton::clicked, [&pressed] { ++pressed; });
    for (const bool masked : {false, true}) {
        hud.maskType = masked ? StatusHUDMaskType::black : StatusHUDMaskType::none;
        hud.show(QStringLiteral("请稍候"), StatusHUDMode::text);
        click(hud);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), QPointF(5, 5),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(hud.view(), &release);
        EXPECT_EQ(pressed, 0) << (masked ? "masked" : "unmasked");
        hud.hide(false);
    }
    EXPECT_EQ(host.clicks, 1);
}

TEST_F(StatusHUDTest, ADismissibleHUDHidesOnAClick) {
    hud.dismissible = true;
    hud.show(QStringLiteral("点击关闭"), StatusHUDMode::text);
    settle();
    click(hud);
    settle();  // runs the queued hide, which starts the fade
    EXPECT_FALSE(hud.isHidden());
    settle();
    EXPECT_TRUE(hud.isHidden());
}

TEST_F(StatusHUDTest, TheFirstSpinnerStepLightsFinZero) {
    hud.show(QStringLiteral("登录中..."), StatusHUDMode::indeterminate);
    const auto spinner = hud.progressIndicator();
    ASSERT_NE(spinner, nullptr);
    EXPECT_TRUE(spinner->isRunning);
    EXPECT_EQ(spinner->fposition, 11);
    EXPECT_EQ(spinner->color, Color::grey(0.95, 1));

    ASSERT_TRUE(test::runMainUntil([&] { return spinner->fposition == 0; }));
    const Clock::TimePoint now = Clock::current()->now();
    EXPECT_EQ(spinner->finLayers()[0].presentationOpacity(now), 1);
    EXPECT_EQ(spinner->finLayers()[0].rotation, 0);
    EXPECT_EQ(spinner->finLayers()[1].presentationOpacity(now), 0);

    settle(milliseconds(50));
    EXPECT_EQ(spinner->fposition, 1);

    hud.hide(false);
    EXPECT_FALSE(spinner->isRunning);
    EXPECT_FALSE(spinner->hasAnimationTimer());
    EXPECT_EQ(hud.indicator(), nullptr);
}

TEST_F(StatusHUDTest, AShowFromHiddenMakesANewSpinnerAVisibleOneKeepsIt) {
    hud.show(QString(), StatusHUDMode::indeterminate);
    const auto first = hud.progressIndicator();
    hud.show(QStringLiteral("还在加载"), StatusHUDMode::indeterminate);
    EXPECT_EQ(hud.progressIndicator(), first);
    hud.hide(false);
    hud.style = StatusHUDStyle::light;
    hud.show(QString(), StatusHUDMode::indeterminate);
    EXPECT_NE(hud.progressIndicator(), first);
    EXPECT_EQ(hud.progressIndicator()->color, Color::grey(0, 1));
    hud.hide(false);
}

TEST_F(StatusHUDTest, ABusyStateShownDuringAShortMessageStaysUp) {
    StatusHUD& shared = StatusHUD::shared();
    shared.containerView = &host;
    StatusHUD::showMessage(QStringLiteral("验证码已发送"), StatusHUDMode::text);
    settle();
    EXPECT_TRUE(shared.hasPendingDelayedHide());

    shared.show(QStringLiteral("登录中..."), StatusHUDMode::indeterminate);
    EXPECT_FALSE(shared.hasPendingDelayedHide());
    settle(seconds(6));
    EXPECT_FALSE(shared.isHidden());
    EXPECT_EQ(shared.mode().kind, StatusHUDMode::indeterminate);
    EXPECT_NE(shared.indicator(), nullptr);

    // The other way round: a message over the busy state ends the whole HUD at its time.
    StatusHUD::showMessage(QStringLiteral("登录失败"), StatusHUDMode::error);
    EXPECT_EQ(shared.indicator(), nullptr);
    EXPECT_EQ(shared.statusLabel()->text(), QStringLiteral("登录失败"));
    settle(milliseconds(1999));
    EXPECT_FALSE(shared.isHidden());
    settle(milliseconds(1));
    settle();
    EXPECT_TRUE(shared.isHidden());
    shared.containerView = nullptr;
}

TEST_F(StatusHUDTest, AShowDuringTheFadeOutStaysUp) {
    NotificationLog log(hud);
    hud.show(QStringLiteral("加载中"), StatusHUDMode::indeterminate);
    settle();
    hud.hide(true);
    hud.show(QStringLiteral("网络错误"), StatusHUDMode::error);
    settle(seconds(1));
    EXPECT_FALSE(hud.isHidden());
    EXPECT_EQ(hud.alphaValue(), 1);
    EXPECT_EQ(hud.view()->parentWidget(), &host);
    EXPECT_EQ(std::count(log.names.begin(), log.names.end(), "StatusHUD.didDisappear"), 0);
}

TEST_F(StatusHUDTest, ShowsOverTheApplicationWindowAndNotWithoutOne) {
    hud.containerView = nullptr;
    NotificationLog log(hud);
    hud.show(QStringLiteral("无窗口"), StatusHUDMode::text);
    EXPECT_TRUE(hud.isHidden());
    EXPECT_TRUE(log.names.empty());

    QMainWindow window;
    auto* content = new QWidget;
    window.setCentralWidget(content);
    window.resize(750, 500);
    ApplicationWindows::setDelegateWindow(&window);
    hud.show(QStringLiteral("有窗口"), StatusHUDMode::text);
    EXPECT_EQ(hud.view()->parentWidget(), content);
    ApplicationWindows::setDelegateWindow(nullptr);
    hud.hide(false);
}

TEST_F(StatusHUDTest, AHostClosedUnderTheHUDLeavesItHiddenAndUsable) {
    auto* doomed = new QWidget;
    doomed->resize(400, 300);
    hud.containerView = doomed;
    hud.show(QStringLiteral("加载中"), StatusHUDMode::indeterminate);
    delete doomed;
    EXPECT_TRUE(hud.isHidden());

    hud.containerView = &host;
    hud.show(QStringLiteral("再来"), StatusHUDMode::text);
    EXPECT_FALSE(hud.isHidden());
    EXPECT_EQ(hud.view()->parentWidget(), &host);
    EXPECT_EQ(hud.statusLabel()->text(), QStringLiteral("再来"));
}

TEST_F(StatusHUDTest, EachDrawingPassLaysTheBoxOutAfresh) {
    const auto isBoxDark = [](const QColor& c) { return c.red() < 60 && c.green() < 60; };
    hud.show(QStringLiteral("请稍候"), StatusHUDMode::text);
    settle();
    EXPECT_NEAR(hud.boxRect().center().y(), 350, 0.5);

    // A setting changed while the HUD is up shows at the next drawing, without a new show.
    hud.position = StatusHUDPosition::top;
    hud.view()->update();
    const QImage drawn = host.grab().toImage();
    EXPECT_NEAR(hud.boxRect().center().y(), 150, 0.5);
    EXPECT_TRUE(isBoxDark(drawn.pixelColor(QPoint(hud.boxRect().left() + 6, 150))));
    EXPECT_EQ(drawn.pixelColor(QPoint(hud.boxRect().left() + 6, 350)), QColor(Qt::white));
    EXPECT_NEAR(hud.statusLabel()->geometry().center().y(), 150, 1);
}

TEST_F(StatusHUDTest, DrawsMaskBoxAndIcons) {
    const auto isLight = [](const QColor& c) { return c.red() > 200 && c.green() > 200; };
    const auto isBoxDark = [](const QColor& c) { return c.red() < 60 && c.green() < 60; };

    hud.show(QStringLiteral("失败"), StatusHUDMode::error);
    settle();
    const QRectF box = hud.boxRect();
    const QPointF iconCentre(box.center().x(), box.top() + 54);
    EXPECT_EQ(pixel(QPointF(2, 2)), QColor(Qt::white));  // no mask
    EXPECT_TRUE(isBoxDark(pixel(QPointF(box.left() + 16, box.bottom() - 6))));
    EXPECT_TRUE(isLight(pixel(iconCentre)));  // where the cross's strokes meet
    EXPECT_TRUE(isBoxDark(pixel(iconCentre + QPointF(0, -20))));

    hud.maskType = StatusHUDMaskType::black;
    hud.view()->update();
    const QColor masked = pixel(QPointF(2, 2));
    EXPECT_NEAR(masked.red(), 102, 2);  // 60 % black over white

    // The progress arc starts at the top and runs clockwise.
    hud.maskType = StatusHUDMaskType::none;
    hud.setProgress(0.25);
    hud.show(QStringLiteral("正在上传文件，请稍候"), StatusHUDMode::determinate);
    settle();
    const QRectF arcBox = hud.boxRect();
    const QPointF centre(arcBox.center().x(), arcBox.top() + 54);
    EXPECT_TRUE(isLight(pixel(centre + QPointF(0, -30))));
    EXPECT_TRUE(isLight(pixel(centre + QPointF(21.2, -21.2))));
    EXPECT_TRUE(isBoxDark(pixel(centre + QPointF(-30, 0))));
    EXPECT_TRUE(isBoxDark(pixel(centre + QPointF(0, 30))));
}

}  // namespace
}  // namespace pex
