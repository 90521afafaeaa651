#include "StandinScene.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <stdexcept>
#include <string>

#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"
#include "service/ApiBaseURL.h"

namespace pex::gallery {

StandinScene::StandinScene() : previousRoot_(UserDefaults::rootDirectory()) {
    if (!folder_.isValid()) throw std::runtime_error("no temporary folder");
    // Started first, so that a failure leaves the settings where they were.
    if (service_.start() == 0) throw std::runtime_error("stand-in service did not start");
    const std::filesystem::path root = folder_.path().toStdString();
    UserDefaults::setRootDirectory(root / "config");
    StandardFolders::setRootForTesting(root / "home");
    DeploymentSettings::useSingleOrigin(*Origin::parse(service_.origin()));
    resetApiBaseURL();
}

StandinScene::~StandinScene() {
    service_.stop();
    DeploymentSettings::resetToBuildDefaults();
    resetApiBaseURL();
    StandardFolders::setRootForTesting(std::nullopt);
    UserDefaults::setRootDirectory(previousRoot_);
}

void waitFor(const std::function<bool()>& done, const char* what) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    if (!done()) throw std::runtime_error(std::string("timed out waiting for ") + what);
}

}  // namespace pex::gallery
