#pragma once
// The content of the login window (510 × 480, "登录"). The user signs in with a phone number
// and either an SMS code or a password, whichever "/user/get_login_method" says. The SMS code
// is sent only after the captcha page was solved, and the send button then counts 60 s down
// before it can be used again. The country label opens the country list; the service-line
// list sits at the bottom of the window. A successful login stores the token and the profile
// and turns this window into the 1000 × 700 main window "主面板". Main thread only.
#include <QPointer>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "Login/CountrySelectorDelegate.h"
#include "platform/appkit/ViewController.h"
#include "service/CountryListModel.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pex {

class CaptchaPage;
class DispatchTimer;
class ImageView;
class NetChannelView;
class Popover;

class LoginViewController : public ViewController, public CountrySelectorDelegate {
    Q_OBJECT
  public:
    static constexpr int kCountdownSeconds = 60;
    static constexpr int kPasswordLogin = 1;
    static constexpr const char* kOsRegister = "mac-official";
    // What the country label reads when no usable country is chosen.
    static constexpr const char* kNoCountryText = "国家/地区";

    explicit LoginViewController(QObject* parent = nullptr);
    ~LoginViewController() override;

    // The window's controls (made with the view).
    QPointer<QLabel> areaLabel;      // the chosen country; a click opens the country list
    QPointer<QLineEdit> phoneLabel;  // phone number
    QPointer<QLineEdit> codeLabel;   // the SMS code, or the password while shown in clear
    QPointer<QPushButton> sendCodeButton;
    QPointer<QPushButton> loginButton;
    QPointer<QCheckBox> autoLoginBtn;  // stay signed in
    QPointer<QLabel> contractLabel;    // opens the customer-service pop-up
    QPointer<ImageView> eyeIcon;       // shows or hides the password
    QPointer<QLineEdit> secureField;   // the masked password

    bool iseyed = true;  // true: the password is masked
    std::unique_ptr<DispatchTimer> countdownTimer;
    int remainingSeconds = kCountdownSeconds;
    Popover* popover;  // hosts the country list; owned by this controller
    CountryListModel countryModel;
    int loginType = 0;  // kPasswordLogin: password; anything else: SMS code
    bool selectAutoLogin = false;

    // The service-line list at the bottom of the window, made on first use.
    NetChannelView* netChannelV();

    // "+<code> (<Chinese name>)", or kNoCountryText for a country without a dialling code.
    static QString areaText(const CountryListModel& country);

    // The controls' actions.
    void eyeTap();
    void loginTap();
    void autoLoginTap();
    void sendCodeTap();
    void showCountryList();
    void contractTap();

    void showCaptcha();
    void sendSmsCode(const std::string& validate);
    void startCountdown();
    void updateCountdownTitle();
    void didSelectCountry(const CountryListModel& country) override;
    void openMainWindow();
    void fetchLoginMethod();
    void loginWithPassword();
    void loginWithCode();
    void handleLoginReply(const nlohmann::json& reply);

  protected:
    void loadView() override;
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Shows the captcha page (its helper process opens a 400 × 400 window with a title bar and
    // a close button). The page ends with this controller. Tests replace it to keep the
    // helper out.
    virtual void presentCaptcha(CaptchaPage* captcha);

  private:
    void setSmsCodeMode();
    void setPasswordMode();
    void countdownTick();
    void stopCountdown();
    void requestLogin(const std::string& path, nlohmann::json body);
    void layoutNetChannel();
    void returnFocus(const QPointer<QWidget>& field);

    // Set while a login request is out: another press of "登录" or Return sends nothing.
    bool loginInFlight_ = false;

    QPointer<NetChannelView> netChannel_;
    // The same view as a plain object, for telling events apart: the filter also sees the
    // view's last events while it is being destroyed, when it is no NetChannelView any more.
    QPointer<QObject> watchedNetChannel_;
    QPointer<QWidget> watchedWindow_;
};

}  // namespace pex
