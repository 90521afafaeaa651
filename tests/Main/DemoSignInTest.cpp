// The demo's path end to end: start-up without a login opens the login window, and the
// stand-in's demo account signs in (by password, or by SMS code) into the main window, which
// is the same window, kept by the delegate.
#include <QLineEdit>

#include "Login/LoginViewController.h"
#include "Main/AppDelegate.h"
#include "Main/ViewController.h"
#include "ShellFixture.h"
#include "platform/foundation/DeploymentSettings.h"
#include "service/ApiBaseURL.h"

namespace pex {
namespace {

using standin::StandinState;

class DemoSignInTest : public test::ShellTest {
  protected:
    // Launches, types the demo phone and `secret` into the login window and signs in.
    void signInThroughTheLoginWindow(int loginMethod, const std::string& secret) {
        service_.state().setLoginMethod(loginMethod);
        AppDelegate delegate(AppDelegate::LaunchSteps{});
        delegate.finishLaunching();
        QPointer<ContentWindow> window = delegate.window();
        auto* login = qobject_cast<LoginViewController*>(window->contentViewController());
        ASSERT_NE(login, nullptr);
        ASSERT_TRUE(waitForRequests("/user/get_login_method", 1));
        ASSERT_TRUE(test::runMainUntil([&] { return login->loginType == loginMethod; }));

        login->phoneLabel->setText(QString::fromLatin1(StandinState::kDemoPhone));
        QLineEdit* field = loginMethod == LoginViewController::kPasswordLogin
                               ? login->secureField.data()
                               : login->codeLabel.data();
        field->setText(QString::fromStdString(secret));
        login->loginTap();

        ASSERT_TRUE(test::runMainUntil([&] {
            settle();
            return window && qobject_cast<shell::ViewController*>(window->contentViewController());
        }));
        EXPECT_EQ(delegate.window(), window.data());
        EXPECT_EQ(visibleWindows().size(), 1u);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("主面板"));
        EXPECT_EQ(window->contentSize(), QSize(1000, 700));

        // Signed in for real: the new main view's request carries the new token.
        const auto token = SettingsStore::string(SettingsKeys::loginToken);
        ASSERT_TRUE(token.has_value());
        ASSERT_TRUE(waitForRequests("/user/change_user_type/*", 1));
        const auto put = service_.requests("/user/change_user_type/*").front();
        EXPECT_EQ(put.header("Authorization").value_or(""), "Bearer " + *token);
        test::runMainUntil([] { return false; }, std::chrono::milliseconds(100));
        EXPECT_EQ(service_.state().account(StandinState::kDemoPhone)->type, 4);
    }
};

TEST_F(DemoSignInTest, TheDemoAccountSignsInWithItsPassword) {
    signInThroughTheLoginWindow(LoginViewController::kPasswordLogin, StandinState::kDemoPassword);
}

TEST_F(DemoSignInTest, TheDemoAccountSignsInWithTheSmsCode) {
    // The code the stand-in "sent" after the captcha.
    service_.state().with([](StandinState::Data& data) {
        data.smsCodes[StandinState::kDemoPhone] = StandinState::kSmsCode;
        return 0;
    });
    signInThroughTheLoginWindow(0, StandinState::kSmsCode);
}

// "自动登录" through a restart of the demo's stand-in: it takes back the tokens it handed out,
// so the next launch opens the main window and its requests are answered, not refused.
TEST_F(DemoSignInTest, AutoLoginOutlivesARestartOfTheStandin) {
    const std::filesystem::path file = root() / "standin-state" / "tokens.json";
    ASSERT_TRUE(service_.state().keepTokensIn(file));
    SettingsStore::set(SettingsKeys::isAutoLogin, true);
    signInThroughTheLoginWindow(LoginViewController::kPasswordLogin, StandinState::kDemoPassword);
    const auto token = SettingsStore::string(SettingsKeys::loginToken);
    ASSERT_TRUE(token);
    closeEverything();
    service_.stop();
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    standin::StandinService restarted;
    ASSERT_TRUE(restarted.state().keepTokensIn(file));
    ASSERT_NE(restarted.start(), 0);
    DeploymentSettings::useSingleOrigin(*Origin::parse(restarted.origin()));
    resetApiBaseURL();
    AppDelegate delegate(AppDelegate::LaunchSteps{});
    delegate.finishLaunching();
    ASSERT_TRUE(test::runMainUntil(
        [&] { return !restarted.requests("/user/change_user_type/*").empty(); }));
    test::runMainUntil([] { return false; }, std::chrono::milliseconds(150));
    settle();
    const auto windows = visibleWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_TRUE(qobject_cast<shell::ViewController*>(windows.front()->contentViewController()));
    EXPECT_EQ(SettingsStore::string(SettingsKeys::loginToken), token);
    closeEverything();
    restarted.stop();
}

}  // namespace
}  // namespace pex
