// The ways the login ends in the windows: logout from the sidebar (succeeding or failing) and
// an expired login (HTTP 401). Each hides the HUDs, closes the windows, forgets the login and
// leaves exactly one login window, kept by the application delegate.

#include <QAccessible>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include "Login/LoginViewController.h"
#include "Main/AppDelegate.h"
#include "Main/HomeLeftCustomView.h"
#include "Main/HomeLeftView.h"
#include "Main/SidebarViewController.h"
#include "Main/ViewController.h"
#include "ShellFixture.h"
#include "Tools/HUD.h"
#include "Tools/StatusHUD/StatusHUD.h"
#include "Tools/WindowLifecycle.h"
#include "platform/foundation/Clock.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using standin::Fault;

// Notes the stored token when its window closes, as a session window's final usage report
// would read it.
class TokenAtClose : public QObject {
  public:
    TokenAtClose(QWidget* window, std::vector<std::optional<std::string>>& seen)
        : QObject(window), seen_(seen) {
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            seen_.push_back(SettingsStore::string(SettingsKeys::loginToken));
        }
        return false;
    }

  private:
    std::vector<std::optional<std::string>>& seen_;
};

class SignOutTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        startSignedIn();
    }

    // Launches signed in: the main window, a session window and both HUDs up.
    void startSignedIn() {
        MainMenu::setCurrent(MainMenu::makeDefault());
        tokensAtClose_.clear();
        service_.clearRequests();
        token_ = signIn(true);
        delegate_ = std::make_unique<AppDelegate>(AppDelegate::LaunchSteps{});
        delegate_->finishLaunching();
        settle();
        main_ = delegate_->window();
        ASSERT_TRUE(qobject_cast<shell::ViewController*>(main_->contentViewController()));
        new TokenAtClose(main_, tokensAtClose_);
        // A second window of the signed-in state, as a session window would be.
        auto* session = new ContentWindow(new ViewController);
        WindowLifecycle::present(session, {600, 400}, QStringLiteral("session"));
        new TokenAtClose(session, tokensAtClose_);
        session_ = session;
        ASSERT_TRUE(waitForRequests("/user/change_user_type/*", 1));
        // Both HUDs are up when the login ends.
        ApplicationWindows::setMainWindow(main_);
        HUD::show(QStringLiteral("Loading..."));
        ASSERT_NE(HUD::current(), nullptr);
    }
    void TearDown() override {
        ApplicationWindows::setMainWindow(nullptr);
        delegate_.reset();
        ShellTest::TearDown();
    }

    HomeLeftView* menu() {
        return qobject_cast<shell::ViewController*>(main_->contentViewController())
            ->sidebar()
            ->leftView();
    }

    // Waits until the main window is gone and a login window is up.
    bool waitForLoginWindow() {
        return test::runMainUntil([&] {
            settle();
            return main_.isNull() && !visibleWindows().empty();
        });
    }

    // What every end of the login leaves behind.
    void expectOneKeptLoginWindow() {
        const auto windows = visibleWindows();
        ASSERT_EQ(windows.size(), 1u);
        EXPECT_EQ(visibleTopLevelCount(), 1);
        ContentWindow* login = windows.front();
        EXPECT_TRUE(qobject_cast<LoginViewController*>(login->contentViewController()));
        EXPECT_EQ(login->windowTitle(), QStringLiteral("登录"));
        EXPECT_EQ(login->contentSize(), QSize(510, 480));
        EXPECT_EQ(delegate_->window(), login);
        EXPECT_EQ(ApplicationWindows::delegateWindow(), login);
        EXPECT_TRUE(session_.isNull());
        EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::loginToken));
        EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::userInfo));
        EXPECT_TRUE(StatusHUD::shared().isHidden());
        EXPECT_EQ(HUD::current(), nullptr);
    }

    std::unique_ptr<AppDelegate> delegate_;
    QPointer<ContentWindow> main_;
    QPointer<ContentWindow> session_;
    std::vector<std::optional<std::string>> tokensAtClose_;
    std::string token_;
};

TEST_F(SignOutTest, LogoutFromTheSidebarEndsTheLoginAndForgetsAutoLogin) {
    test::click(menu()->loingouBtn());
    // First the short message over the kept window, while the page stays.
    ASSERT_TRUE(test::runMainUntil([] { return !StatusHUD::shared().isHidden(); }));
    EXPECT_EQ(StatusHUD::shared().statusLabel()->text(), QStringLiteral("账号已退出登录"));
    EXPECT_FALSE(main_.isNull());

    ASSERT_TRUE(waitForLoginWindow());
    const auto sent = service_.requests("/user/logout");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].header("Authorization").value_or(""), "Bearer " + token_);
    expectOneKeptLoginWindow();
    EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::isAutoLogin));
    // The windows closed while the token was still there.
    EXPECT_EQ(tokensAtClose_, (std::vector<std::optional<std::string>>{token_, token_}));
    EXPECT_TRUE(alerts_->messages.empty());
}

TEST_F(SignOutTest, AFailedLogoutSignsOutLocallyAllTheSame) {
    const std::pair<const char*, Fault> failures[] = {
        {"refused", Fault::serviceError(1, std::string("退出失败"))},
        {"network down", Fault::droppedConnection()},
    };
    for (const auto& [name, fault] : failures) {
        SCOPED_TRACE(name);
        if (main_.isNull()) startSignedIn();
        service_.setFault("/user/logout", fault);
        test::click(menu()->loingouBtn());
        ASSERT_TRUE(waitForLoginWindow());
        expectOneKeptLoginWindow();
        EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::isAutoLogin));
        EXPECT_EQ(tokensAtClose_.size(), 2u);
        for (const auto& seen : tokensAtClose_) EXPECT_EQ(seen, std::optional<std::string>(token_));
        closeEverything();
        service_.clearFaults();
    }
    // The service's refusal reached the user through the client's alert.
    test::runMainUntil([&] { return !alerts_->messages.empty(); });
    ASSERT_FALSE(alerts_->messages.empty());
    EXPECT_EQ(alerts_->messages.front(), "退出失败");
}

TEST_F(SignOutTest, AnExpiredLoginEndsItButKeepsAutoLogin) {
    service_.setFault("/user/info", Fault::unauthorized());
    bool completed = false;
    HttpDatas::shared().request("/user/info", HTTPMethod::Get, std::nullopt, std::nullopt,
                                [&](auto, auto, auto) { completed = true; });
    ASSERT_TRUE(waitForLoginWindow());
    expectOneKeptLoginWindow();
    EXPECT_FALSE(completed);
    EXPECT_TRUE(SettingsStore::boolean(SettingsKeys::isAutoLogin));
    // Each window closed while the token was still stored (a session's final usage report
    // still goes out signed in); only then was it cleared.
    EXPECT_EQ(tokensAtClose_, (std::vector<std::optional<std::string>>{token_, token_}));

    // Further 401 replies while that login window is up open nothing more.
    QPointer<ContentWindow> login = visibleWindows().front();
    HttpDatas::shared().request("/user/info", HTTPMethod::Get);
    ASSERT_TRUE(waitForRequests("/user/info", 2));
    test::runMainUntil([] { return false; }, std::chrono::milliseconds(100));
    settle();
    ASSERT_EQ(visibleWindows().size(), 1u);
    EXPECT_EQ(visibleWindows().front(), login.data());
}

TEST_F(SignOutTest, AnExpiredLoginDuringASessionClosesTheHiddenMainWindowToo) {
    // The session window takes over from the main window, which hides meanwhile.
    int sessionEnds = 0;
    WindowLifecycle::shared().beginSession(session_, [&sessionEnds](std::function<void()> done) {
        ++sessionEnds;
        done();
    });
    ASSERT_FALSE(main_->isVisible());
    service_.setFault("/user/info", Fault::unauthorized());
    HttpDatas::shared().request("/user/info", HTTPMethod::Get);
    ASSERT_TRUE(waitForLoginWindow());
    expectOneKeptLoginWindow();
    EXPECT_EQ(sessionEnds, 1);
    EXPECT_EQ(tokensAtClose_, (std::vector<std::optional<std::string>>{token_, token_}));
    // Nothing brings a main window back later.
    test::runMainUntil([] { return false; }, std::chrono::milliseconds(300));
    settle();
    EXPECT_EQ(visibleWindows().size(), 1u);
}

TEST_F(SignOutTest, LogoutDuringASessionWaitsForTheSessionsEndBeforeTellingTheService) {
    ScopedManualClock clock;
    // Two sign-outs while a session runs: one whose end reports back, one whose end never does.
    for (const bool answered : {true, false}) {
        SCOPED_TRACE(answered ? "the session's end reports back" : "it never does");
        if (main_.isNull()) startSignedIn();
        std::function<void()> sessionDone;
        int sessionEnds = 0;
        WindowLifecycle::shared().beginSession(
            session_, [&sessionEnds, &sessionDone](std::function<void()> done) {
                ++sessionEnds;
                sessionDone = std::move(done);
            });
        main_->show();  // "Show Main Window" brought it back during the session
        test::click(menu()->loingouBtn());
        test::click(menu()->loingouBtn());  // impatient: clicked again while the session ends
        EXPECT_EQ(sessionEnds, 1);
        clock.clock().advance(WindowLifecycle::kQuitWait - std::chrono::milliseconds(1));
        test::runMainUntil([] { return false; }, std::chrono::milliseconds(100));
        EXPECT_TRUE(service_.requests("/user/logout").empty());
        if (answered) {
            sessionDone();
        } else {
            clock.clock().advance(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(waitForRequests("/user/logout", 1));
        // Its reply shows the message; the login ends 0.25 s later.
        ASSERT_TRUE(test::runMainUntil([] { return !StatusHUD::shared().isHidden(); }));
        clock.clock().advance(std::chrono::milliseconds(250));
        ASSERT_TRUE(waitForLoginWindow());
        expectOneKeptLoginWindow();
        EXPECT_EQ(service_.requests("/user/logout").size(), 1u);
        closeEverything();
        service_.clearRequests();
    }
}

// The application's menu (Quit, Show Main Window) stays with the windows of the next login.
TEST_F(SignOutTest, TheNextLoginsWindowHasTheApplicationMenu) {
    // Assistive technology has read the signed-in window's menu.
    auto* mainBar = qobject_cast<QMenuBar*>(main_->menuWidget());
    ASSERT_NE(mainBar, nullptr);
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(mainBar);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->childCount(), 2);
    EXPECT_EQ(read->child(0)->text(QAccessible::Name), QStringLiteral("Pexmora"));

    ContentWindow* login = WindowLifecycle::shared().signOut(SettingsStore::AutoLogin::forget);
    settle();
    ASSERT_NE(login, nullptr);
    auto* bar = qobject_cast<QMenuBar*>(login->menuWidget());
    ASSERT_NE(bar, nullptr);
    QStringList titles;
    for (QAction* item : bar->actions()) titles.append(item->text());
    EXPECT_EQ(titles, (QStringList{"Pexmora", "Window"}));
    const QMenu* application =
        bar->actions().value(0) ? bar->actions()[0]->menu<QMenu*>() : nullptr;
    ASSERT_NE(application, nullptr);
    ASSERT_FALSE(application->actions().isEmpty());
    EXPECT_EQ(application->actions()[0]->text(), QStringLiteral("Quit"));
    // Assistive technology sees the same items: the menu's entries of the ended login's
    // windows, which are gone, do not stand in for them.
    QAccessibleInterface* accessibleBar = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(accessibleBar, nullptr);
    QStringList accessibleTitles;
    for (int i = 0; i < accessibleBar->childCount(); ++i) {
        QAccessibleInterface* child = accessibleBar->child(i);
        accessibleTitles.append(child && child->isValid() ? child->text(QAccessible::Name)
                                                          : QStringLiteral("<gone>"));
    }
    EXPECT_EQ(accessibleTitles, titles);
}

TEST_F(SignOutTest, EndingTheLoginTwiceStillLeavesOneLoginWindow) {
    WindowLifecycle::shared().signOut(SettingsStore::AutoLogin::forget);
    ContentWindow* second = WindowLifecycle::shared().signOut(SettingsStore::AutoLogin::forget);
    settle();
    ASSERT_EQ(visibleWindows().size(), 1u);
    EXPECT_EQ(visibleWindows().front(), second);
    EXPECT_EQ(delegate_->window(), second);
}

}  // namespace
}  // namespace pex
