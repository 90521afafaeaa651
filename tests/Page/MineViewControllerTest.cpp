// The account page against the stand-in service: the profile, copying the user code, the
// record windows, the history panel, the contact pop-up, the notification and account
// deletion.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPointer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Login/LoginViewController.h"
#include "Main/WindowFactory.h"
#include "Page/Mine/MineViewController.h"
#include "Page/Records/ConsumeViewController.h"
#include "Page/Records/OrderViewController.h"
#include "Page/View/ContactView.h"
#include "PageFixture.h"
#include "Tools/ContentWindow.h"
#include "Tools/NotificationNames.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/WindowLifecycle.h"
#include "platform/appkit/ApplicationWindows.h"
#include "platform/appkit/ViewController.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "service/GRDBDataManager.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using standin::Fault;
using standin::StandinState;

const DefaultsKey<UserBaseModel> kUserInfo(SettingsKeys::userInfo);

UserBaseModel storedProfile() {
    UserBaseModel user;
    user.phone = "13900000000";
    user.user_code = "A1B2";
    user.sumTimePackage = 3725;
    return user;
}

bool isUserWindow(const QWidget* widget) {
    return widget->isWindow() && widget->isVisible() && widget->windowType() != Qt::Popup &&
           widget->windowType() != Qt::ToolTip;
}

std::vector<QWidget*> visibleWindows() {
    std::vector<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (isUserWindow(widget)) windows.push_back(widget);
    }
    return windows;
}

// The visible login window, if one is open.
ContentWindow* loginWindow() {
    for (QWidget* window : visibleWindows()) {
        auto* content = qobject_cast<ContentWindow*>(window);
        if (content && qobject_cast<LoginViewController*>(content->contentViewController())) {
            return content;
        }
    }
    return nullptr;
}

class MineViewControllerTest : public PageFixture {
  protected:
    MineViewControllerTest() {
        WindowFactory::install();  // signing out opens a login window
        service_.state().setBalance(kPhone, 600);
        userCode_ = service_.state().account(kPhone)->userCode;
        page_ = new MineViewController;
        window_ = new ContentWindow(page_.data());
        window_->setContentSize({750, 500});
        ApplicationWindows::setDelegateWindow(window_);
    }
    ~MineViewControllerTest() override {
        ApplicationWindows::setKeyWindow(nullptr);
        ApplicationWindows::setMainWindow(nullptr);
        ApplicationWindows::setDelegateWindow(nullptr);
        settleReplies();
        // Deleting one window may take others with it: hold them weakly first.
        std::vector<QPointer<ContentWindow>> windows;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<ContentWindow*>(widget)) windows.emplace_back(window);
        }
        for (const QPointer<ContentWindow>& window : windows) delete window.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Shows the main window with the page, which then refreshes the profile.
    void showPage() {
        window_->makeKeyAndOrderFront();
        ApplicationWindows::setKeyWindow(window_);
        ApplicationWindows::setMainWindow(window_);
    }
    QString timeText() const { return page_->localTimeLabel()->text(); }
    void tap(const QString& title) {
        QPushButton* button = page_->recordButton(title);
        ASSERT_NE(button, nullptr) << title.toStdString();
        button->click();
    }
    // The centred pop-ups over the key window, oldest first.
    std::vector<MYCenterPopView*> popUps() const {
        std::vector<MYCenterPopView*> overlays;
        for (QObject* child : window_->contentView()->children()) {
            if (auto* overlay = qobject_cast<MYCenterPopView*>(child)) {
                if (!overlay->isDismissing()) overlays.push_back(overlay);
            }
        }
        return overlays;
    }

    std::string userCode_;
    QPointer<MineViewController> page_;
    QPointer<ContentWindow> window_;
};

TEST_F(MineViewControllerTest, BeforeAnyProfileThePageShowsItsInitialTexts) {
    service_.setFault("/user/info", Fault::serviceError(1, "服务繁忙"));
    showPage();
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(page_->idLabel()->text(), QStringLiteral("ID: "));
    EXPECT_EQ(page_->localTitleLabel()->text(), QStringLiteral("国内面试时长"));
    EXPECT_EQ(timeText(), QStringLiteral("00:00:00"));
    EXPECT_TRUE(page_->overseasTimeLabel()->isVisible());
    EXPECT_EQ(page_->progressContainer()->height(), 110);
    // The avatar is a circle drawn with smooth edges, not a jagged widget mask.
    EXPECT_TRUE(page_->avatarImageView()->mask().isEmpty());
    EXPECT_DOUBLE_EQ(page_->avatarImageView()->cornerRadius(),
                     page_->avatarImageView()->width() / 2.0);
    EXPECT_FALSE(SettingsStore::record(kUserInfo));
    EXPECT_TRUE(runMainUntil([&] { return !alerts_->messages.empty(); }));
}

TEST_F(MineViewControllerTest, TheStoredProfileShowsAtOnceAndTheReplyReplacesIt) {
    SettingsStore::setRecord(std::optional(storedProfile()), kUserInfo);
    showPage();
    // Before the reply has arrived.
    EXPECT_EQ(timeText(), QStringLiteral("01:02:05"));
    EXPECT_EQ(page_->idLabel()->text(), QStringLiteral("ID:A1B2"));
    EXPECT_EQ(page_->phoneLabel()->text(), QStringLiteral("13900000000"));
    EXPECT_EQ(page_->localTitleLabel()->text(), QStringLiteral("面试时长"));
    EXPECT_FALSE(page_->overseasTitleLabel()->isVisible());
    EXPECT_EQ(page_->progressContainer()->height(), 80);

    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/user/info").size(), 1u);
    EXPECT_EQ(timeText(), QStringLiteral("00:10:00"));
    EXPECT_EQ(page_->idLabel()->text(), QString::fromStdString("ID:" + userCode_));
    const auto stored = SettingsStore::record(kUserInfo);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->sumTimePackage, 600);
    EXPECT_EQ(page_->userModel(), stored);
}

TEST_F(MineViewControllerTest, RepliesThatAreNotAProfileChangeNothing) {
    const std::vector<std::pair<const char*, nlohmann::json>> replies = {
        {"data null", nullptr}, {"data a text", "user"}, {"data a list", {1, 2}}};
    SettingsStore::setRecord(std::optional(storedProfile()), kUserInfo);
    showPage();
    ASSERT_TRUE(settleReplies());
    for (const auto& [name, data] : replies) {
        SCOPED_TRACE(name);
        SettingsStore::setRecord(std::optional(storedProfile()), kUserInfo);
        service_.addApiPath("GET", "/user/info",
                            [data](const standin::Call&) { return standin::Reply::ok(data); });
        page_->requestUserInfo();
        ASSERT_TRUE(settleReplies());
        EXPECT_EQ(timeText(), QStringLiteral("01:02:05"));
        EXPECT_EQ(SettingsStore::record(kUserInfo), storedProfile());
    }
}

TEST_F(MineViewControllerTest, AProfileArrivingAfterTheLoginEndedIsNotStored) {
    showPage();
    SettingsStore::clearLogin(SettingsStore::AutoLogin::forget);
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/user/info").size(), 1u);
    EXPECT_FALSE(SettingsStore::record(kUserInfo));
    EXPECT_EQ(timeText(), QStringLiteral("00:00:00"));
}

TEST_F(MineViewControllerTest, CopyPutsTheUserCodeOnTheClipboard) {
    SettingsStore::setRecord(std::optional(storedProfile()), kUserInfo);
    showPage();
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    page_->copyButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("A1B2"));
    EXPECT_FALSE(StatusHUD::shared().isHidden());
    EXPECT_EQ(StatusHUD::shared().statusLabel()->text(), QStringLiteral("已复制到剪切板"));
}

TEST_F(MineViewControllerTest, CopyWithoutAUserCodeChangesNothingAndShowsNothing) {
    service_.addApiPath("GET", "/user/info",
                        [](const standin::Call&) { return standin::Reply::ok(nullptr); });
    showPage();
    StatusHUD::shared().hide(false);
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    page_->copyTap();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_TRUE(StatusHUD::shared().isHidden());

    // A profile without a code is no different.
    UserBaseModel noCode = storedProfile();
    noCode.user_code.clear();
    SettingsStore::setRecord(std::optional(noCode), kUserInfo);
    page_->requestUserInfo();
    page_->copyTap();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_TRUE(StatusHUD::shared().isHidden());
}

TEST_F(MineViewControllerTest, RecordButtonsComeInOrder) {
    showPage();
    QStringList titles;
    for (const auto& [title, image] : page_->recordButtons()) {
        titles << title;
        EXPECT_EQ(image, QStringLiteral("start_font_length"));
        QPushButton* button = page_->recordButton(title);
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->isVisible());
    }
    EXPECT_EQ(titles, (QStringList{"面试记录", "消费记录", "充值记录", "联系客服", "账号注销"}));
    // Left to right in that order.
    EXPECT_LT(page_->recordButton("面试记录")->x(), page_->recordButton("账号注销")->x());
}

TEST_F(MineViewControllerTest, EachTapOpensARecordWindowKeptUntilItCloses) {
    showPage();
    tap(QStringLiteral("充值记录"));
    tap(QStringLiteral("充值记录"));
    tap(QStringLiteral("消费记录"));
    const std::vector<QWidget*> open = page_->openWindows();
    ASSERT_EQ(open.size(), 3u);
    EXPECT_EQ(open[0]->windowTitle(), QStringLiteral("充值明细"));
    EXPECT_EQ(open[1]->windowTitle(), QStringLiteral("充值明细"));
    EXPECT_EQ(open[2]->windowTitle(), QStringLiteral("消费明细"));
    EXPECT_NE(open[0], open[1]);
    auto* orders = qobject_cast<ContentWindow*>(open[0]);
    ASSERT_NE(orders, nullptr);
    EXPECT_NE(qobject_cast<OrderViewController*>(orders->contentViewController()), nullptr);
    EXPECT_EQ(orders->contentView()->size(), QSize(600, 400));
    EXPECT_EQ(orders->minimumSize(), orders->maximumSize()) << "not resizable";
    EXPECT_NE(qobject_cast<ConsumeViewController*>(
                  qobject_cast<ContentWindow*>(open[2])->contentViewController()),
              nullptr);

    open[0]->close();
    EXPECT_EQ(page_->openWindows(), (std::vector<QWidget*>{open[1], open[2]}));
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/order/page").size(), 2u);
    EXPECT_EQ(service_.requests("/consume/page").size(), 1u);
}

TEST_F(MineViewControllerTest, TheHistoryPanelIsReusedAndReloadedOnEachTap) {
    const auto store = [](std::int64_t id, const std::string& name) {
        HistoryRecord record;
        record.id = id;
        record.timeStr = static_cast<double>(id);
        record.historyFileName = name;
        return GRDBDataManager::shared().insertHistory(record);
    };
    ASSERT_TRUE(store(1800000000, "初试"));
    const std::size_t stored = GRDBDataManager::shared().fetchAllHistory().size();
    showPage();
    tap(QStringLiteral("面试记录"));
    HistoryView* panel = page_->historyView();
    EXPECT_EQ(panel->parentWidget(), window_->contentView());
    EXPECT_EQ(panel->geometry(), window_->contentView()->rect());
    ASSERT_TRUE(runMainUntil([&] { return panel->records().size() == stored; }));
    panel->didTap1();
    EXPECT_EQ(panel->parentWidget(), nullptr);

    // An interview stored meanwhile is listed when the panel is opened again.
    ASSERT_TRUE(store(1800000100, "复试"));
    tap(QStringLiteral("面试记录"));
    EXPECT_EQ(page_->historyView(), panel);
    EXPECT_TRUE(panel->isVisible());
    ASSERT_TRUE(runMainUntil([&] { return panel->records().size() == stored + 1; }));
    EXPECT_EQ(panel->records().front().historyFileName, "复试");
}

TEST_F(MineViewControllerTest, TheHistoryPanelNeedsTheViewInAWindow) {
    MineViewController alone;
    alone.view();
    alone.showHistory();
    EXPECT_EQ(console_.linesStartingWith(
                  "⚠️ 当前 View 不在窗口中，无法添加到 window.contentView"),
              1);
    EXPECT_EQ(alone.historyView()->parentWidget(), nullptr);
}

TEST_F(MineViewControllerTest, ContactShowsTheCardOnlyWithAKeyWindow) {
    showPage();
    tap(QStringLiteral("联系客服"));
    auto overlays = popUps();
    ASSERT_EQ(overlays.size(), 1u);
    auto* card = qobject_cast<ContactView*>(overlays[0]->contentView());
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->size(), QSize(260, 260));
    overlays[0]->dismissAnimated();

    ApplicationWindows::setKeyWindow(nullptr);
    window_->hide();
    tap(QStringLiteral("联系客服"));
    EXPECT_TRUE(popUps().empty());
}

TEST_F(MineViewControllerTest, EachShowingAsksForTheProfileAndTestsTheLinesAgain) {
    showPage();
    ASSERT_TRUE(settleReplies());
    const std::size_t lines = service_.requests("/meeting-network.json").size();
    EXPECT_GE(lines, 1u);
    EXPECT_EQ(service_.requests("/user/info").size(), 1u);

    // The page container hides the page and shows it again.
    page_->view()->hide();
    page_->view()->show();
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/user/info").size(), 2u);
    EXPECT_EQ(service_.requests("/meeting-network.json").size(), lines + 1);

    // The notification asks for the profile only.
    NotificationCenter::defaultCenter().post(NotificationNames::interviewType, nullptr,
                                             {{"type", 1}});
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/user/info").size(), 3u);
    EXPECT_EQ(service_.requests("/meeting-network.json").size(), lines + 1);
}

TEST_F(MineViewControllerTest, OnlyAnIntegerTypeInTheNotificationAsksForTheProfile) {
    showPage();
    ASSERT_TRUE(settleReplies());
    service_.clearRequests();
    auto& centre = NotificationCenter::defaultCenter();
    centre.post(NotificationNames::interviewType, nullptr, {{"type", "2"}});
    centre.post(NotificationNames::interviewType, nullptr, nullptr);
    centre.post(NotificationNames::interviewType, nullptr, {{"other", 2}});
    EXPECT_EQ(sentRequests(), handledReplies());
    centre.post(NotificationNames::interviewType, nullptr, {{"type", 2}});
    ASSERT_TRUE(settleReplies());
    EXPECT_EQ(service_.requests("/user/info").size(), 1u);
    EXPECT_EQ(console_.linesStartingWith("收到通知内容：2"), 1);

    // A page that is gone no longer hears it.
    delete window_.data();
    ASSERT_TRUE(page_.isNull());
    centre.post(NotificationNames::interviewType, nullptr, {{"type", 3}});
    EXPECT_EQ(console_.linesStartingWith("收到通知内容："), 1);
}

TEST_F(MineViewControllerTest, ConfirmedDeletionSignsOut) {
    ScopedManualClock clock;
    SettingsStore::set(SettingsKeys::isAutoLogin, true);
    SettingsStore::setRecord(std::optional(storedProfile()), kUserInfo);
    showPage();
    ASSERT_TRUE(settleReplies());

    tap(QStringLiteral("账号注销"));
    auto overlays = popUps();
    ASSERT_EQ(overlays.size(), 1u);
    auto* tip = qobject_cast<CommonTipView*>(overlays[0]->contentView());
    ASSERT_EQ(tip, page_->logoffTipView());
    EXPECT_EQ(tip->titleLabel()->text(), QStringLiteral("温馨提示"));
    EXPECT_EQ(tip->sureButton()->text(), QStringLiteral("注销"));
    tip->sureButton()->click();
    ASSERT_TRUE(settleReplies());
    ASSERT_EQ(service_.requests("/user/logoff").size(), 1u);
    EXPECT_EQ(service_.requests("/user/logoff")[0].method, "POST");
    EXPECT_EQ(StatusHUD::shared().statusLabel()->text(), QStringLiteral("账号已注销"));
    // The sign-out waits a quarter of a second.
    EXPECT_TRUE(SettingsStore::string(SettingsKeys::loginToken));

    clock.clock().advance(std::chrono::milliseconds(249));
    runMainUntil([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_TRUE(SettingsStore::string(SettingsKeys::loginToken));
    clock.clock().advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(runMainUntil([] { return loginWindow() != nullptr; }));
    ContentWindow* login = loginWindow();
    EXPECT_EQ(visibleWindows(), std::vector<QWidget*>{login});
    EXPECT_EQ(login->windowTitle(), QStringLiteral("登录"));
    EXPECT_EQ(login->contentSize(), QSize(510, 480));
    EXPECT_EQ(console_.linesStartingWith("======="), 1);
    EXPECT_FALSE(SettingsStore::string(SettingsKeys::loginToken));
    EXPECT_FALSE(SettingsStore::boolean(SettingsKeys::isAutoLogin));
    EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::isAutoLogin));
    EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::userInfo));
}

// Deleting the account while a session runs ends the session first: its final report needs the
// account. The deletion goes out once the session's end reports back, or at the quit bound.
TEST_F(MineViewControllerTest, ADeletionDuringASessionWaitsForTheSessionsEnd) {
    ScopedManualClock clock;
    // The service refuses, so that the first round's sign-out does not end the second.
    service_.setFault("/user/logoff", Fault::serviceError(1003, "注销失败，请稍后再试"));
    for (const bool answered : {true, false}) {
        SCOPED_TRACE(answered ? "the session's end reports back" : "it never does");
        showPage();
        ASSERT_TRUE(settleReplies());
        auto* session = new ContentWindow(new ViewController);
        WindowLifecycle::present(session, {600, 400}, QStringLiteral("session"));
        std::function<void()> sessionDone;
        int sessionEnds = 0;
        WindowLifecycle::shared().beginSession(session, [&](std::function<void()> done) {
            ++sessionEnds;
            sessionDone = std::move(done);
        });
        ApplicationWindows::setKeyWindow(window_);
        tap(QStringLiteral("账号注销"));
        page_->logoffTipView()->sureButton()->click();
        EXPECT_EQ(sessionEnds, 1);
        clock.clock().advance(WindowLifecycle::kQuitWait - std::chrono::milliseconds(1));
        runMainUntil([] { return false; }, std::chrono::milliseconds(100));
        EXPECT_TRUE(service_.requests("/user/logoff").empty());
        if (answered) {
            sessionDone();
        } else {
            clock.clock().advance(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(runMainUntil([&] { return service_.requests("/user/logoff").size() == 1; }));
        delete session;
        service_.clearRequests();
    }
}

// A refusal, or a reply that is not the service's envelope at all, deletes nothing and keeps the
// user signed in.
TEST_F(MineViewControllerTest, ARefusedDeletionRemovesNothing) {
    const std::pair<Fault, std::string> replies[] = {
        {Fault::serviceError(1003, "注销失败，请稍后再试"), "注销失败，请稍后再试"},
        {Fault::httpStatus(200, R"("ok")"), HttpDatas::kMalformedReplyMessage},
        {Fault::httpStatus(200, "[]"), HttpDatas::kMalformedReplyMessage},
    };
    for (const auto& [fault, alert] : replies) {
        SCOPED_TRACE(alert);
        SettingsStore::set(SettingsKeys::isAutoLogin, true);
        SettingsStore::setRecord(std::optional(storedProfile()), kUserInfo);
        alerts_->messages.clear();
        showPage();
        ASSERT_TRUE(settleReplies());
        service_.setFault("/user/logoff", fault);

        tap(QStringLiteral("账号注销"));
        auto overlays = popUps();
        ASSERT_EQ(overlays.size(), 1u);
        page_->logoffTipView()->sureButton()->click();
        ASSERT_TRUE(settleReplies());
        ASSERT_TRUE(runMainUntil([&] { return !alerts_->messages.empty(); }));
        EXPECT_THAT(alerts_->messages, testing::Contains(alert));
        // Past the moment a successful deletion would sign out.
        runMainUntil([] { return false; }, std::chrono::milliseconds(400));
        EXPECT_TRUE(SettingsStore::string(SettingsKeys::loginToken));
        EXPECT_TRUE(SettingsStore::boolean(SettingsKeys::isAutoLogin));
        EXPECT_TRUE(SettingsStore::record(kUserInfo));
        EXPECT_EQ(console_.linesStartingWith("======="), 0);
        EXPECT_TRUE(window_ && window_->isVisible());
        EXPECT_EQ(visibleWindows().size(), 1u);
    }
}

TEST_F(MineViewControllerTest, CancellingTheDeletionSendsNothing) {
    showPage();
    tap(QStringLiteral("账号注销"));
    page_->logoffTipView()->cancelButton()->click();
    ASSERT_TRUE(settleReplies());
    EXPECT_TRUE(service_.requests("/user/logoff").empty());

    // Without a key window nothing is shown, and nothing is sent.
    ApplicationWindows::setKeyWindow(nullptr);
    window_->hide();
    tap(QStringLiteral("账号注销"));
    EXPECT_TRUE(popUps().empty());
}

}  // namespace
}  // namespace pex::test
