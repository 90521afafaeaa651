// The login window in its SMS-code and password modes (and while the send button counts down),
// and the country list with all countries and filtered, each fed by a stand-in service started
// for the picture.
#include <QLineEdit>
#include <QListWidget>
#include <memory>

#include "Gallery.h"
#include "LineLatencies.h"
#include "Login/CountryListViewController.h"
#include "Login/LoginViewController.h"
#include "Tools/ContentWindow.h"
#include "StandinScene.h"
#include "standin-service/StandinState.h"

namespace pex::gallery {
namespace {

// A stand-in service that offers `loginMethod` (0 SMS code, 1 password).
class LoginScene : public StandinScene {
  public:
    explicit LoginScene(int loginMethod) { service().state().setLoginMethod(loginMethod); }
};

// The window once the login method and the service lines have come; `prepare` sets the state.
Render loginWindow(int loginMethod, std::function<void(LoginViewController&)> prepare) {
    return [loginMethod, prepare] {
        LoginScene scene(loginMethod);
        auto* controller = new LoginViewController;
        auto window = std::make_unique<ContentWindow>(controller);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->setContentSize({510, 480});
        window->setWindowTitle(QStringLiteral("登录"));
        window->show();
        waitFor([&] { return controller->loginType == loginMethod; }, "the login method");
        showFixedLatencies(*controller->netChannelV());
        prepare(*controller);
        return snapshot(*window);
    };
}

const Entry smsMode{"LoginViewController", "sms_code",
                    loginWindow(0, [](LoginViewController& login) {
                        login.phoneLabel->setText(QStringLiteral("13800138000"));
                    })};

const Entry countdown{"LoginViewController", "countdown",
                      loginWindow(0, [](LoginViewController& login) {
                          login.phoneLabel->setText(QStringLiteral("13800138000"));
                          login.startCountdown();
                          advance(std::chrono::seconds(3));
                      })};

const Entry passwordMode{"LoginViewController", "password",
                         loginWindow(1, [](LoginViewController& login) {
                             login.phoneLabel->setText(QStringLiteral("13800138000"));
                             login.secureField->setText(QStringLiteral("123456"));
                         })};

// The picker as its pop-over shows it, with `query` typed into its search field.
Render countryList(QString query) {
    return [query] {
        LoginScene scene(0);
        auto picker = std::make_unique<CountryListViewController>();
        QWidget* view = picker->view();
        view->setAutoFillBackground(true);
        waitFor([&] { return !picker->countryModels.empty(); }, "the countries");
        picker->searchField->setText(query);
        return snapshot(*view);
    };
}

const Entry allCountries{"CountryListViewController", "all", countryList(QString())};
const Entry filteredCountries{"CountryListViewController", "filtered",
                              countryList(QStringLiteral("中国"))};

}  // namespace
}  // namespace pex::gallery
