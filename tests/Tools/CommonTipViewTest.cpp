// The two-button tip card inside the centred pop-up: confirm closes the pop-up first and then
// runs the page's block, cancel only closes it, and long texts wrap inside the card.
#include "Tools/CommonTipView.h"

#include <gtest/gtest.h>
#include <QMainWindow>

#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/SystemColors.h"
#include "Tools/UIConstants.h"
#include "platform/appkit/ApplicationWindows.h"
#include "support/AnimationFrames.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

class CommonTipViewTest : public ::testing::Test {
  protected:
    CommonTipViewTest() : keyWindow(&window) {
        window.setCentralWidget(new QWidget);
        window.resize(750, 500);
        window.show();
    }

    CommonTipView* showTip(QSize size = QSize(300, 160)) {
        auto* tip = new CommonTipView;
        tip->resize(size);
        overlay = MYCenterPopView::showInKeyWindow(tip);
        advance(std::chrono::milliseconds(300));
        return tip;
    }

    void advance(Clock::Duration by) { test::advanceInFrames(clock.clock(), by); }

    ScopedManualClock clock;
    QMainWindow window;
    ScopedKeyWindow keyWindow;
    QPointer<MYCenterPopView> overlay;
};

TEST_F(CommonTipViewTest, ConfirmClosesThePopUpThenRunsTheBlock) {
    CommonTipView* tip = showTip();
    std::vector<std::string> steps;
    tip->sureBlock = [&] {
        steps.push_back(overlay && overlay->isDismissing() ? "block after dismiss"
                                                           : "block before dismiss");
    };
    test::click(tip->sureButton());
    EXPECT_EQ(steps, (std::vector<std::string>{"block after dismiss"}));
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(overlay);
}

TEST_F(CommonTipViewTest, ConfirmWithoutABlockAndCancelOnlyClose) {
    CommonTipView* tip = showTip();
    test::click(tip->sureButton());
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(overlay);

    int ran = 0;
    tip = showTip();
    tip->sureBlock = [&] { ++ran; };
    test::click(tip->cancelButton());
    advance(std::chrono::milliseconds(300));
    EXPECT_FALSE(overlay);
    EXPECT_EQ(ran, 0);
}

TEST_F(CommonTipViewTest, DefaultTextsAndLook) {
    CommonTipView tip;
    EXPECT_EQ(tip.titleLabel()->text(), QStringLiteral("更新提示"));
    EXPECT_EQ(tip.contentLabel()->text(),
              QStringLiteral("请更新到最新版本体验更多功能，点击下方按钮可更新，无需可忽略。"));
    EXPECT_EQ(tip.sureButton()->text(), QStringLiteral("去更新"));
    EXPECT_EQ(tip.cancelButton()->text(), QStringLiteral("忽略"));
    EXPECT_EQ(tip.cornerRadius(), 16);
    EXPECT_EQ(tip.layerBackgroundColor(), Color::grey(1));
    EXPECT_EQ(tip.contentLabel()->palette().color(QPalette::WindowText),
              systemGrayColor().toQColor());
    EXPECT_EQ(tip.sureButton()->size(), QSize(85, 35));
}

TEST_F(CommonTipViewTest, LongContentWrapsInsideTheCardAndButtonsFollowIt) {
    CommonTipView* tip = showTip(QSize(300, 140));
    tip->titleLabel()->setText(QStringLiteral("温馨提示"));
    tip->contentLabel()->setText(QString(60, QChar(0x5B57)));  // sixty CJK characters
    QCoreApplication::processEvents();
    const QRect content = tip->contentLabel()->geometry();
    EXPECT_EQ(content.left(), 23);
    EXPECT_EQ(content.width(), 300 - 46);
    EXPECT_GT(content.height(), 2 * tip->contentLabel()->fontMetrics().height());
    EXPECT_EQ(content.top(), tip->titleLabel()->geometry().bottom() + 1 + 16);
    const QRect sure = tip->sureButton()->geometry();
    EXPECT_EQ(sure, QRect(300 - 23 - 85, content.bottom() + 1 + 16, 85, 35));
    EXPECT_EQ(tip->cancelButton()->geometry(), sure.translated(-85 - 11, 0));
    // The card grows about its centre to hold the buttons under the text.
    EXPECT_EQ(tip->height(), sure.bottom() + 1 + 23);
    EXPECT_GT(tip->height(), 140);
    EXPECT_NEAR(tip->geometry().center().y(), overlay->rect().center().y(), 1);
}

}  // namespace
}  // namespace pex
