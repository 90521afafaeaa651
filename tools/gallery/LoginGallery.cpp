// The login window in its SMS-code and password modes (and while the send button counts down),
// and the country list with all countries and filtered, each fed by a stand-in service started
// for the picture.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <memory>
#include <stdexcept>

#include "Gallery.h"
#include "Login/CountryListViewController.h"
#include "Login/LoginViewController.h"
#include "Main/ContentWindow.h"
#include "Page/View/NetChannelView.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/UserDefaults.h"
#include "service/ApiBaseURL.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"

namespace pex::gallery {
namespace {

// A stand-in service with the settings store in a temporary folder, put back afterwards.
class LoginScene {
  public:
    explicit LoginScene(int loginMethod) : previousRoot_(UserDefaults::rootDirectory()) {
        if (!folder_.isValid()) throw std::runtime_error("no temporary folder");
        UserDefaults::setRootDirectory(folder_.path().toStdString());
        if (service_.start() == 0) throw std::runtime_error("stand-in service did not start");
        DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
        resetApiBaseURL();
        service_.state().setLoginMethod(loginMethod);
    }
    ~LoginScene() {
        service_.stop();
        DeploymentSettings::resetToBuildDefaults();
        resetApiBaseURL();
        UserDefaults::setRootDirectory(previousRoot_);
    }
    LoginScene(const LoginScene&) = delete;
    LoginScene& operator=(const LoginScene&) = delete;

  private:
    std::filesystem::path previousRoot_;
    QTemporaryDir folder_;
    standin::StandinService service_;
};

// Runs the event loop until `done`, in real time: replies come over the network.
void waitFor(const std::function<bool()>& done, const char* what) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    if (!done()) throw std::runtime_error(std::string("timed out waiting for ") + what);
}

bool latencyTestEnded(const NetChannelView& view) {
    const auto& rows = view.hostArrList();
    return !view.deviceButtons().empty() &&
           std::none_of(rows.begin(), rows.end(), [](const NetChannelView::Row& row) {
               return row.speed == NetChannelView::testingText();
           });
}

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
        NetChannelView* lines = controller->netChannelV();
        waitFor([&] { return latencyTestEnded(*lines); }, "the service lines");
        // Measured times differ from run to run; the picture shows fixed ones.
        for (int row = 0; row < static_cast<int>(lines->deviceButtons().size()); ++row) {
            lines->applySpeedResult(SpeedTestState::success(40 + 90 * row), row);
        }
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
