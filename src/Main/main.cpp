// Process entry: Qt's event loop drives the main queue; the application delegate starts up
// once the loop runs, and the loop's result is the process' exit status.
#include <sys/stat.h>

#include <QApplication>
#include <QPointer>
#include <memory>

#include "Main/AppDelegate.h"
#include "Main/MainMenu.h"
#include "Main/SignOut.h"
#include "Main/SingleInstance.h"
#include "Main/StartupProbe.h"
#include "Tools/QtAlertPresenter.h"
#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/PulseAudioHardware.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "service/HttpDatas.h"

int main(int argc, char* argv[]) {
    // Everything the application writes (history, recordings, settings) is the user's own:
    // new files are 0600 and new folders 0700, whatever the umask it was started with.
    ::umask(077);
    // The captcha page's web view shares OpenGL contexts; Qt needs this before the application.
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pexmora");
    pex::StartupProbe::installIfAsked();
    pex::MainQueue::adoptCurrentThreadAsMain();
    pex::installQtMainQueueDriver();

    // Launched again while running: the running application comes forward instead.
    pex::SingleInstance instance;
    if (instance.notifyRunningInstance()) return 0;

    // The sound server's devices, for routing a session's sound. Without a server every device
    // list is empty, and the router says so when a session starts.
    pex::coreaudio::PulseAudioHardware::install(std::chrono::seconds(2));

    pex::HttpDatas::shared().setAlertPresenter(std::make_shared<pex::QtAlertPresenter>());
    pex::HttpDatas::shared().setSessionExpiryHandler(std::make_shared<pex::SessionExpiryWindows>());
    pex::MainMenu::setCurrent(pex::MainMenu::makeDefault());

    pex::AppDelegate delegate;
    instance.listen([&delegate] { delegate.reopen(); });
    pex::DispatchQueue::main().async([&delegate] { delegate.applicationDidFinishLaunching(); });
    const int status = QApplication::exec();
    pex::NotificationCenter::defaultCenter().post(pex::kApplicationWillTerminateNotification);
    delegate.applicationWillTerminate();
    pex::coreaudio::installBackend(nullptr);  // the sound server's connection ends in order
    // Everything with widgets goes while the application object still exists.
    pex::HttpDatas::shared().setSessionExpiryHandler(nullptr);
    pex::MainMenu::setCurrent(nullptr);
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) windows.append(window);
    for (const QPointer<QWidget>& window : windows) delete window.data();
    return status;
}
