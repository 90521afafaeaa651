// The login window against the stand-in service over real HTTP: the login method, the
// validation messages, the SMS code after the captcha with its 60 s countdown on the manual
// clock, both logins, what a successful login stores and how the window turns into the main
// window, the auto-login box, the country pop-over and the contact pop-up. The captcha page
// itself is left out here (CaptchaViewControllerTest runs it): the captcha controller is
// caught when the window would show it.
#include "Login/LoginViewController.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "Login/CaptchaPage.h"
#include "Login/CountryListViewController.h"
#include "LoginFixture.h"
#include "Tools/ContentWindow.h"
#include "Main/ViewController.h"
#include "Page/View/ContactView.h"
#include "Page/View/NetChannelView.h"
#include "Tools/AppImages.h"
#include "Tools/ImageView.h"
#include "Tools/PopView/MYCenterPopView.h"
#include "platform/appkit/Popover.h"
#include "platform/foundation/UserDefaults.h"
#include "purchase/ConsoleCapture.h"
#include "service/ConsoleRedaction.h"
#include "service/DefaultsKey.h"
#include "service/SettingsStore.h"
#include "service/UserBaseModel.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using nlohmann::json;
using standin::Fault;
using standin::Reply;
using standin::StandinState;
using namespace std::chrono_literals;

constexpr const char* kPhone = "13800138000";

// Types `text` into whatever has the keyboard, as key presses; answers false when nothing has.
bool typeKeys(const QString& text) {
    for (const QChar c : text) {
        QWidget* focused = QApplication::focusWidget();
        if (!focused) return false;
        QKeyEvent press(QEvent::KeyPress, Qt::Key(c.toUpper().unicode()), Qt::NoModifier,
                        QString(c));
        QApplication::sendEvent(focused, &press);
    }
    return true;
}

// Catches the captcha controller instead of showing the web page.
class TestLoginViewController : public LoginViewController {
  public:
    std::vector<QPointer<CaptchaPage>> captchas;

  protected:
    void presentCaptcha(CaptchaPage* captcha) override {
        captcha->setParent(this);
        captchas.push_back(captcha);
    }
};

class LoginViewControllerTest : public test::LoginFixture {
  protected:
    // A login window as the application opens it, kept by the delegate (the HUD shows there).
    void openWindow() {
        controller_ = new TestLoginViewController;
        window_ = new ContentWindow(controller_);
        window_->setContentSize({510, 480});
        window_->setWindowTitle(QStringLiteral("登录"));
        window_->show();
        ApplicationWindows::setDelegateWindow(window_);
    }
    // Opens the window and waits until the login-method reply was applied.
    void openWindowWithMethod(int method) {
        service_.state().setLoginMethod(method);
        openWindow();
        waitForRequest("/user/get_login_method");
        ASSERT_TRUE(test::runMainUntil([&] { return controller_->loginType == method; }));
    }

    bool inSmsMode() const {
        return !controller_->codeLabel->isHidden() && controller_->secureField->isHidden() &&
               controller_->eyeIcon->isHidden() && !controller_->sendCodeButton->isHidden() &&
               controller_->codeLabel->placeholderText() == QStringLiteral("请输入验证码");
    }
    bool inPasswordMode() const {
        return controller_->codeLabel->isHidden() && !controller_->secureField->isHidden() &&
               !controller_->eyeIcon->isHidden() && controller_->sendCodeButton->isHidden() &&
               controller_->codeLabel->placeholderText() == QStringLiteral("请输入至少6位的密码");
    }

    // Presses send, solves the captcha with `token` and waits for the SMS request.
    standin::RecordedRequest sendCodeWithCaptcha(const std::string& token) {
        const std::size_t before = requests("/user/send_sms_code").size();
        test::click(controller_->sendCodeButton);
        EXPECT_TRUE(test::runMainUntil([&] { return !controller_->captchas.empty(); }));
        if (controller_->captchas.empty() || !controller_->captchas.back()) return {};
        controller_->captchas.back()->onValidateReceived(token);
        return waitForRequest("/user/send_sms_code", before + 1);
    }

    // Sends the code and waits until the reply started the countdown; its short message is
    // taken down so that it does not lie over the buttons.
    void sendCodeAndWaitForCountdown(const std::string& token) {
        sendCodeWithCaptcha(token);
        EXPECT_TRUE(test::runMainUntil([&] { return !controller_->sendCodeButton->isEnabled(); }));
        StatusHUD::shared().hide(false);
    }

    void typeInto(QLineEdit* entry, const QString& text) {
        entry->setFocus();
        entry->setText(text);
    }

    std::optional<std::string> storedToken() const {
        return SettingsStore::string(SettingsKeys::loginToken);
    }
    std::optional<UserBaseModel> storedProfile() const {
        return SettingsStore::record(DefaultsKey<UserBaseModel>(SettingsKeys::userInfo));
    }

    // Waits until the busy HUD of a login request is gone (its fade runs on the manual clock).
    bool busyHudGone() {
        return test::runMainUntil([&] {
            advance(50ms);
            return hudText() != QStringLiteral("登录中...");
        });
    }

    QPointer<TestLoginViewController> controller_;
    QPointer<ContentWindow> window_;
};

TEST_F(LoginViewControllerTest, AFreshWindowShowsChinaAndTheSmsCodeMode) {
    service_.state().setLoginMethod(0);
    openWindow();
    EXPECT_EQ(controller_->areaLabel->text(), QStringLiteral("+86 (中国)"));
    EXPECT_EQ(controller_->sendCodeButton->text(), QStringLiteral("发送验证码"));
    EXPECT_TRUE(controller_->sendCodeButton->isEnabled());
    EXPECT_TRUE(inSmsMode());
    // With +86 the number has room for 13 of the 15 digits of an international number.
    typeInto(controller_->phoneLabel, QStringLiteral("13800138000123456"));
    EXPECT_EQ(controller_->phoneLabel->text(), QStringLiteral("1380013800012"));
    EXPECT_EQ(controller_->view()->size(), QSize(510, 480));
    // The service-line list sits 66 points from the left and 13 above the bottom, 33 high.
    NetChannelView* channels = controller_->netChannelV();
    EXPECT_EQ(channels->parentWidget(), controller_->view());
    EXPECT_EQ(channels->geometry().left(), 66);
    EXPECT_EQ(channels->geometry().height(), 33);
    EXPECT_EQ(channels->geometry().bottom() + 1, 480 - 13);
    waitForRequest("/user/get_login_method");
}

// The reply's "data" decides the mode; only 1 means password, and a failure keeps SMS codes.
TEST_F(LoginViewControllerTest, TheLoginMethodReplyChoosesTheMode) {
    struct Case {
        const char* name;
        json data;
        std::optional<Fault> fault;
        bool password;
    };
    const std::vector<Case> cases = {
        {"one", 1, std::nullopt, true},
        {"one as text", "1", std::nullopt, true},
        {"two", 2, std::nullopt, false},
        {"service error", 1, Fault::serviceError(7, "维护中"), false},
        {"transport failure", 1, Fault::droppedConnection(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service_.clearRequests();
        alerts_->messages.clear();
        service_.addApiPath("GET", "/user/get_login_method",
                            [data = c.data](const standin::Call&) { return Reply::ok(data); });
        if (c.fault) service_.setFault("/user/get_login_method", *c.fault);
        openWindow();
        if (c.fault) {
            waitForAlert();
        } else {
            const int expected =
                c.data.is_string() ? std::stoi(c.data.get<std::string>()) : c.data.get<int>();
            ASSERT_TRUE(test::runMainUntil([&] { return controller_->loginType == expected; }));
        }
        EXPECT_EQ(inPasswordMode(), c.password);
        EXPECT_EQ(inSmsMode(), !c.password);
        service_.clearFaults();
        closeAllWindows();
    }
}

// Every check that stops a send or a login shows its message and sends nothing.
TEST_F(LoginViewControllerTest, ValidationMessagesStopTheRequest) {
    struct Case {
        const char* name;
        int method;
        bool noCountry;
        const char* phone;
        const char* secret;  // the code or password typed
        bool send;           // the send button, else the login button
        const char* message;
    };
    const std::vector<Case> cases = {
        {"send without country", 0, true, kPhone, "", true, "请选择国家！"},
        {"send without phone", 0, false, "", "", true, "请输入手机号！"},
        {"login without country", 0, true, kPhone, "123456", false, "请选择国家！"},
        {"login without phone", 0, false, "", "123456", false, "用户名和密码不能为空！"},
        {"login without code", 0, false, kPhone, "", false, "用户名和密码不能为空！"},
        {"login without password", 1, false, kPhone, "", false, "用户名和密码不能为空！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openWindowWithMethod(c.method);
        if (c.noCountry) {
            CountryListModel noCode;
            noCode.name_zn = "未知";
            controller_->didSelectCountry(noCode);
            EXPECT_EQ(controller_->areaLabel->text(), QStringLiteral("国家/地区"));
        }
        typeInto(controller_->phoneLabel, QString::fromUtf8(c.phone));
        typeInto(c.method == 1 ? controller_->secureField : controller_->codeLabel,
                 QString::fromUtf8(c.secret));
        test::click(c.send ? controller_->sendCodeButton : controller_->loginButton);
        settle();
        EXPECT_EQ(hudText(), QString::fromUtf8(c.message));
        EXPECT_TRUE(controller_->captchas.empty());  // no captcha window either
        EXPECT_TRUE(requests("/user/login").empty());
        EXPECT_TRUE(requests("/user/account/login").empty());
        EXPECT_TRUE(requests("/user/send_sms_code").empty());
        StatusHUD::shared().hide(false);
        closeAllWindows();
    }
}

TEST_F(LoginViewControllerTest, ACaptchaTokenSendsTheCodeAndTheButtonCountsSixtySecondsDown) {
    openWindowWithMethod(0);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    const auto sent = sendCodeWithCaptcha("captcha-token-1");
    EXPECT_EQ(sent.json(),
              (json{{"country_code", "86"}, {"phone", kPhone}, {"data", "captcha-token-1"}}));

    QPushButton* button = controller_->sendCodeButton;
    ASSERT_TRUE(test::runMainUntil([&] { return !button->isEnabled(); }));
    EXPECT_EQ(button->text(), QStringLiteral("60s 后可重试"));
    EXPECT_EQ(hudText(), QStringLiteral("验证码已发送"));  // the reply's message
    advance(1s);
    EXPECT_EQ(button->text(), QStringLiteral("59s 后可重试"));
    EXPECT_FALSE(button->isEnabled());
    for (int second = 2; second < 60; ++second) advance(1s);
    EXPECT_EQ(button->text(), QStringLiteral("1s 后可重试"));
    EXPECT_FALSE(button->isEnabled());
    advance(1s);
    EXPECT_EQ(button->text(), QStringLiteral("发送验证码"));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(controller_->remainingSeconds, 60);
    advance(5s);  // stopped: nothing counts on
    EXPECT_EQ(button->text(), QStringLiteral("发送验证码"));
}

TEST_F(LoginViewControllerTest, AFailedSendStartsNoCountdown) {
    openWindowWithMethod(0);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    service_.setFault("/user/send_sms_code", Fault::serviceError(1, "发送太频繁"));
    sendCodeWithCaptcha("captcha-token");
    waitForAlert();
    EXPECT_EQ(alerts_->messages.back(), "发送太频繁");
    EXPECT_TRUE(controller_->sendCodeButton->isEnabled());
    EXPECT_EQ(controller_->sendCodeButton->text(), QStringLiteral("发送验证码"));
}

TEST_F(LoginViewControllerTest, EachPressOfSendOpensANewCaptcha) {
    openWindowWithMethod(0);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    test::click(controller_->sendCodeButton);
    test::click(controller_->sendCodeButton);
    ASSERT_TRUE(test::runMainUntil([&] { return controller_->captchas.size() == 2; }));
    EXPECT_NE(controller_->captchas[0], controller_->captchas[1]);
}

TEST_F(LoginViewControllerTest, TheCountdownStopsWhenTheWindowGoesAway) {
    openWindowWithMethod(0);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    sendCodeWithCaptcha("captcha-token");
    ASSERT_TRUE(test::runMainUntil([&] { return !controller_->sendCodeButton->isEnabled(); }));
    advance(1s);
    const std::size_t pendingWhileCounting = clock_.clock().pendingCount();
    EXPECT_GT(pendingWhileCounting, 0u);

    window_->close();  // the window deletes itself with its controller
    settle();
    EXPECT_TRUE(window_.isNull());
    EXPECT_TRUE(controller_.isNull());
    EXPECT_LT(clock_.clock().pendingCount(), pendingWhileCounting);
    advance(70s);  // nothing left to tick on a controller that is gone
}

TEST_F(LoginViewControllerTest, ClosingAWindowThatIsKeptStillEndsTheCountdown) {
    openWindowWithMethod(0);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    sendCodeWithCaptcha("captcha-token");
    ASSERT_TRUE(test::runMainUntil([&] { return !controller_->sendCodeButton->isEnabled(); }));
    const std::size_t pendingWhileCounting = clock_.clock().pendingCount();

    window_->close();
    settle();
    ASSERT_FALSE(controller_.isNull());
    EXPECT_EQ(controller_->countdownTimer, nullptr);
    EXPECT_LT(clock_.clock().pendingCount(), pendingWhileCounting);
    EXPECT_EQ(controller_->sendCodeButton->text(), QStringLiteral("发送验证码"));
    advance(3s);
    EXPECT_EQ(controller_->sendCodeButton->text(), QStringLiteral("发送验证码"));
    delete window_.data();
}

TEST_F(LoginViewControllerTest, TheSmsLoginSendsTheExactBodyAndTurnsTheWindowIntoTheMainWindow) {
    openWindowWithMethod(0);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    sendCodeAndWaitForCountdown("captcha-token");
    typeInto(controller_->codeLabel, QString::fromUtf8(StandinState::kSmsCode));
    test::click(controller_->loginButton);
    EXPECT_EQ(hudText(), QStringLiteral("登录中..."));

    const auto login = waitForRequest("/user/login");
    EXPECT_EQ(login.json(), (json{{"country_code", "86"},
                                  {"osRegister", "mac-official"},
                                  {"phone", kPhone},
                                  {"code", StandinState::kSmsCode}}));
    ASSERT_TRUE(test::runMainUntil([&] { return storedToken().has_value(); }));

    // The token the service handed out, and the profile of "data" → "user".
    const auto account = service_.state().account(kPhone);
    ASSERT_TRUE(account);
    const auto signedIn = service_.state().with([&](StandinState::Data& data) {
        return data.tokens.count(*storedToken()) ? data.tokens.at(*storedToken()) : "";
    });
    EXPECT_EQ(signedIn, kPhone);
    const auto profile = storedProfile();
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->phone, kPhone);
    EXPECT_EQ(profile->user_code, account->userCode);
    EXPECT_EQ(profile->sumTimePackage, account->timePackage);
    EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::isAutoLogin));

    // The same window now shows the main view.
    settle();
    ASSERT_FALSE(window_.isNull());
    EXPECT_TRUE(controller_.isNull());  // released with the replaced content
    EXPECT_NE(qobject_cast<shell::ViewController*>(window_->contentViewController()), nullptr);
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("主面板"));
    EXPECT_EQ(window_->size(), QSize(1000, 700));
    EXPECT_TRUE(busyHudGone());
}

// The password comes from the masked entry, or from the plain one while shown in clear.
TEST_F(LoginViewControllerTest, ThePasswordLoginSendsWhicheverEntryShowsThePassword) {
    for (const bool inClear : {false, true}) {
        SCOPED_TRACE(inClear ? "in clear" : "masked");
        service_.clearRequests();
        openWindowWithMethod(1);
        typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
        typeInto(controller_->secureField, QString::fromUtf8(StandinState::kDemoPassword));
        if (inClear) {
            test::click(controller_->eyeIcon);
            EXPECT_FALSE(controller_->iseyed);
            EXPECT_FALSE(controller_->codeLabel->isHidden());
            EXPECT_TRUE(controller_->secureField->isHidden());
            EXPECT_EQ(controller_->codeLabel->text(),
                      QString::fromUtf8(StandinState::kDemoPassword));
            EXPECT_EQ(controller_->eyeIcon->image().toImage(),
                      AppImages::named(QStringLiteral("icon_pd_false")).toImage());
        }
        test::click(controller_->loginButton);
        const auto login = waitForRequest("/user/account/login");
        EXPECT_EQ(login.json(), (json{{"country_code", "86"},
                                      {"osRegister", "mac-official"},
                                      {"phone", kPhone},
                                      {"password", StandinState::kDemoPassword}}));
        ASSERT_TRUE(test::runMainUntil(
            [&] { return window_ && window_->windowTitle() == QStringLiteral("主面板"); }));
        SettingsStore::clearLogin(SettingsStore::AutoLogin::forget);
        closeAllWindows();
    }
}

TEST_F(LoginViewControllerTest, TheEyeCopiesTheTextBothWays) {
    openWindowWithMethod(1);
    typeInto(controller_->secureField, QStringLiteral("abc"));
    controller_->eyeTap();
    EXPECT_EQ(controller_->codeLabel->text(), QStringLiteral("abc"));
    typeInto(controller_->codeLabel, QStringLiteral("abcdef"));
    controller_->eyeTap();
    EXPECT_TRUE(controller_->iseyed);
    EXPECT_EQ(controller_->secureField->text(), QStringLiteral("abcdef"));
    EXPECT_TRUE(controller_->codeLabel->isHidden());
    EXPECT_FALSE(controller_->secureField->isHidden());
    EXPECT_EQ(controller_->eyeIcon->image().toImage(),
              AppImages::named(QStringLiteral("icon_pd_true")).toImage());
}

// A login reply without a usable token is a failed login: nothing stored, the window stays and
// the user is told.
TEST_F(LoginViewControllerTest, AReplyWithoutATokenStoresNothingAndKeepsTheWindow) {
    struct Case {
        const char* name;
        json data;
    };
    const json user = {{"user_code", "PX1"}, {"phone", kPhone}};
    const std::vector<Case> cases = {
        {"no token", {{"rights", json::array()}, {"user", user}}},
        {"empty token", {{"token", ""}, {"user", user}}},
        {"null token", {{"token", nullptr}, {"user", user}}},
        {"token with a line break", {{"token", "abc\r\nX-Injected: 1"}, {"user", user}}},
        {"token with a control character", {{"token", std::string("abc\x01", 4)}, {"user", user}}},
        {"token with DEL", {{"token", "abc\x7f"}, {"user", user}}},
        {"data is text", "not an object"},
        {"no data", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service_.addApiPath("POST", "/user/account/login", [data = c.data](const standin::Call&) {
            return Reply::ok(data, "登录成功");
        });
        openWindowWithMethod(1);
        typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
        typeInto(controller_->secureField, QStringLiteral("whatever"));
        test::click(controller_->loginButton);
        waitForRequest("/user/account/login");
        ASSERT_TRUE(
            test::runMainUntil([&] { return hudText() == QStringLiteral("登录失败，请重试"); }));
        EXPECT_FALSE(storedToken().has_value());
        EXPECT_FALSE(UserDefaults::standard().contains(SettingsKeys::userInfo));
        ASSERT_FALSE(controller_.isNull());
        EXPECT_EQ(window_->contentViewController(), controller_.data());
        EXPECT_EQ(window_->windowTitle(), QStringLiteral("登录"));
        service_.clearRequests();
        StatusHUD::shared().hide(false);
        closeAllWindows();
    }
}

// However the request ends, the busy HUD goes: a service error, a broken transfer, and an HTTP
// 401 reply, after which the client never calls the completion.
TEST_F(LoginViewControllerTest, TheBusyHudIsHiddenHoweverTheLoginEnds) {
    struct Case {
        const char* name;
        Fault fault;
    };
    const std::vector<Case> cases = {
        {"service error", Fault::serviceError(1001, "验证码错误或已过期")},
        {"transport failure", Fault::droppedConnection()},
        {"not JSON", Fault::notJson()},
        {"401", Fault::unauthorized()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        openWindowWithMethod(0);
        service_.setFault("/user/login", c.fault);
        typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
        typeInto(controller_->codeLabel, QStringLiteral("000000"));
        test::click(controller_->loginButton);
        EXPECT_EQ(hudText(), QStringLiteral("登录中..."));
        waitForRequest("/user/login");
        EXPECT_TRUE(busyHudGone());
        EXPECT_FALSE(storedToken().has_value());
        if (controller_) {
            EXPECT_EQ(window_->contentViewController(), controller_.data());
        }
        service_.clearFaults();
        service_.clearRequests();
        closeAllWindows();
    }
}

// While "登录中..." is up, neither the button under the HUD nor Return sends a second login.
TEST_F(LoginViewControllerTest, PressingLoginAgainWhileBusySendsNothing) {
    openWindowWithMethod(0);
    service_.setFault("/user/login", Fault::slow(300ms));
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    typeInto(controller_->codeLabel, QStringLiteral("000000"));
    test::click(controller_->loginButton);
    ASSERT_EQ(hudText(), QStringLiteral("登录中..."));
    test::click(controller_->loginButton);
    emit controller_->codeLabel->returnPressed();
    waitForRequest("/user/login");
    EXPECT_TRUE(busyHudGone());
    EXPECT_EQ(requests("/user/login").size(), 1u);

    // Once the reply is in, the form can be sent again, by Return too.
    service_.clearFaults();
    ASSERT_FALSE(controller_.isNull());
    emit controller_->codeLabel->returnPressed();
    waitForRequest("/user/login", 2);
}

// Showing the password in clear (or masking it again) keeps the keyboard in the password.
TEST_F(LoginViewControllerTest, TheEyeKeepsTheFocusInThePassword) {
    openWindowWithMethod(1);
    QApplication::setActiveWindow(window_);
    controller_->secureField->setFocus();
    ASSERT_TRUE(typeKeys(QStringLiteral("ab")));
    test::click(controller_->eyeIcon);
    ASSERT_TRUE(typeKeys(QStringLiteral("cd")));
    EXPECT_EQ(controller_->codeLabel->text(), QStringLiteral("abcd"));
    test::click(controller_->eyeIcon);
    ASSERT_TRUE(typeKeys(QStringLiteral("e")));
    EXPECT_EQ(controller_->secureField->text(), QStringLiteral("abcde"));
}

// Once the captcha window is gone, typing lands in the field the user was in, at once.
TEST_F(LoginViewControllerTest, FocusReturnsToTheFieldWhenTheCaptchaCloses) {
    openWindowWithMethod(0);
    QApplication::setActiveWindow(window_);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    test::click(controller_->sendCodeButton);
    ASSERT_TRUE(test::runMainUntil([&] { return !controller_->captchas.empty(); }));
    {
        // The captcha's window takes the keyboard while it is up.
        QWidget captchaWindow;
        captchaWindow.show();
        QApplication::setActiveWindow(&captchaWindow);
        captchaWindow.setFocus();
        ASSERT_NE(QApplication::focusWidget(), controller_->phoneLabel.data());
        delete controller_->captchas.back().data();
    }
    EXPECT_EQ(QApplication::focusWidget(), controller_->phoneLabel.data());
    ASSERT_TRUE(typeKeys(QStringLiteral("9")));
    EXPECT_EQ(controller_->phoneLabel->text(), QString::fromUtf8(kPhone) + QStringLiteral("9"));
}

TEST_F(LoginViewControllerTest, TheAutoLoginBoxStartsFromTheStoredChoiceAndStoresEachToggle) {
    for (const bool stored : {false, true}) {
        SCOPED_TRACE(stored);
        SettingsStore::set(SettingsKeys::isAutoLogin, stored);
        openWindow();
        EXPECT_EQ(controller_->autoLoginBtn->isChecked(), stored);
        EXPECT_EQ(controller_->selectAutoLogin, stored);
        test::ConsoleCapture console;
        test::click(controller_->autoLoginBtn);
        EXPECT_EQ(controller_->selectAutoLogin, !stored);
        EXPECT_EQ(SettingsStore::boolean(SettingsKeys::isAutoLogin), !stored);
        EXPECT_EQ(console.linesStartingWith(!stored ? "选中 ✅" : "未选中 ❌"), 1);
        closeAllWindows();
    }
}

TEST_F(LoginViewControllerTest, AChosenCountryShowsInTheLabelAndGoesWithTheNextRequest) {
    openWindowWithMethod(0);
    test::click(controller_->areaLabel);
    Popover* popover = controller_->popover;
    ASSERT_TRUE(popover->isShown());
    auto* list = qobject_cast<CountryListViewController*>(popover->contentViewController());
    ASSERT_NE(list, nullptr);
    // Under the label.
    EXPECT_GE(popover->window()->geometry().top(),
              controller_->areaLabel->mapToGlobal(QPoint(0, controller_->areaLabel->height())).y());
    ASSERT_TRUE(test::runMainUntil([&] { return list->tableView->count() > 0; }));

    list->searchField->setText(QStringLiteral("852"));
    ASSERT_EQ(list->tableView->count(), 1);
    list->tableView->item(0)->setSelected(true);
    EXPECT_EQ(controller_->areaLabel->text(), QStringLiteral("+852 (中国香港)"));
    EXPECT_FALSE(popover->isShown());

    typeInto(controller_->phoneLabel, QStringLiteral("61234567"));
    const auto sent = sendCodeWithCaptcha("captcha-token");
    EXPECT_EQ(sent.json().value("country_code", ""), "852");
    EXPECT_EQ(sent.json().value("phone", ""), "61234567");
}

TEST_F(LoginViewControllerTest, TheContactTextOpensTheContactCardOnTheKeyWindow) {
    openWindow();
    ScopedKeyWindow key(window_);
    test::ConsoleCapture console;
    test::click(controller_->contractLabel);
    EXPECT_EQ(console.linesStartingWith("label 被点击了！"), 1);
    auto* overlay = window_->findChild<MYCenterPopView*>();
    ASSERT_NE(overlay, nullptr);
    auto* card = qobject_cast<ContactView*>(overlay->contentView());
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->size(), QSize(260, 260));
    waitForRequest("/operation/contact");
}

// Passwords, SMS codes, captcha tokens and login tokens stay out of the console all the way
// through a send and two logins.
TEST_F(LoginViewControllerTest, SecretsNeverReachTheConsole) {
    const std::string password = "Pass-Word-4711";
    service_.state().with([&](StandinState::Data& data) {
        StandinState::ensureAccount(data, kPhone).password = password;
    });
    test::ConsoleCapture console;
    openWindowWithMethod(0);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    sendCodeAndWaitForCountdown("captcha-secret-0815");
    typeInto(controller_->codeLabel, QString::fromUtf8(StandinState::kSmsCode));
    test::click(controller_->loginButton);
    ASSERT_TRUE(test::runMainUntil([&] { return storedToken().has_value(); }));
    const std::string smsToken = *storedToken();
    settle();
    closeAllWindows();
    SettingsStore::clearLogin(SettingsStore::AutoLogin::forget);

    openWindowWithMethod(1);
    typeInto(controller_->phoneLabel, QString::fromUtf8(kPhone));
    typeInto(controller_->secureField, QString::fromStdString(password));
    test::click(controller_->loginButton);
    ASSERT_TRUE(test::runMainUntil([&] { return storedToken().has_value(); }));
    const std::string passwordToken = *storedToken();
    settle();

    const std::string text = console.text();
    EXPECT_NE(text.find("✅ 收到验证码 validate: ***"), std::string::npos);
    EXPECT_NE(text.find("/user/login"), std::string::npos);  // the exchange was logged
    for (const std::string& secret : {std::string("captcha-secret-0815"), password, smsToken,
                                      passwordToken, std::string("\"code\":\"123456\"")}) {
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
    }
}

}  // namespace
}  // namespace pex
