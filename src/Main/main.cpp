// Process entry: Qt's event loop drives the main queue; the application delegate starts up
// once the loop runs, and the loop's result is the process' exit status. The application ends
// only through the window lifecycle's quit (the menu's "Quit", Ctrl+Q, SIGTERM, SIGINT), which
// ends a running session in order before the loop stops.

#include <QApplication>
#include <QPointer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Main/AppDelegate.h"
#include "Main/SingleInstance.h"
#include "Main/StartupProbe.h"
#include "Main/TerminationSignals.h"
#include "Main/WindowFactory.h"
#include "Tools/MainMenu.h"
#include "Tools/QtAlertPresenter.h"
#include "Tools/SessionExpiryWindows.h"
#include "Tools/WindowLifecycle.h"
#include "audio/PXAudioRouter.h"
#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/PulseAudioHardware.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/BackgroundThreads.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"

namespace {

// How long the end of the run waits for background work under way (a record being written, a
// reply being handled) before it gives up on an orderly exit.
constexpr std::chrono::seconds kBackgroundThreadsBound(3);

// Static objects go once main returns: no thread of ours may still be at work then. Work under
// way finishes first; should some still run at the bound, the process ends here without
// destroying them.
int withBackgroundThreadsStopped(int status) {
    if (!pex::BackgroundThreads::stopAll(kBackgroundThreadsBound)) {
        pex::consoleLog("⚠️ 后台任务未能及时结束，程序直接退出");
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

}  // namespace

#ifdef PEXMORA_CRASH_TEST_BUILD
// The crash test build's hooks (hosts moved to a test's stand-in, a forced crash).
void pexmoraCrashTestBuildHooks();
#endif

int main(int argc, char* argv[]) {
    // Everything the application writes (history, recordings, settings) is the user's own:
    // new files are 0600 and new folders 0700, whatever the umask it was started with. Exports
    // the user hands on still get the mode that umask gives.
    pex::AtomicFile::makeNewFilesPrivate();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pexmora");
    // Removed before `app` goes: no worker thread reaches a dying application object.
    pex::QtMainQueueDriver mainQueueDriver;
    pex::StartupProbe::installIfAsked();
#ifdef PEXMORA_CRASH_TEST_BUILD
    pexmoraCrashTestBuildHooks();
#endif

    // Launched again while running: the running application comes forward instead.
    pex::SingleInstance instance;
    if (instance.notifyRunningInstance()) return withBackgroundThreadsStopped(0);

    // The sound server's devices, for routing a session's sound. Without a server every device
    // list is empty, and the router says so when a session starts.
    pex::coreaudio::PulseAudioHardware::install(std::chrono::seconds(2));
    // A session of an earlier run that crashed or was killed may have left the devices
    // rerouted, so that every program on the desktop records the loopback: the router puts
    // them back as it is made, now rather than at the next session.
    pex::PXAudioRouter::shared();

    pex::HttpDatas::shared().setAlertPresenter(std::make_shared<pex::QtAlertPresenter>());
    pex::HttpDatas::shared().setSessionExpiryHandler(std::make_shared<pex::SessionExpiryWindows>());
    pex::MainMenu::setCurrent(pex::MainMenu::makeDefault());
    pex::WindowFactory::install();
    pex::WindowLifecycle::installQuitPolicy();
    pex::TerminationSignals terminationSignals([](int) { pex::WindowLifecycle::shared().quit(0); });

    pex::AppDelegate delegate;
    instance.listen([&delegate] { delegate.reopen(); });
    pex::DispatchQueue::main().async([&delegate] { delegate.applicationDidFinishLaunching(); });
    const int status = QApplication::exec();
    pex::NotificationCenter::defaultCenter().post(pex::kApplicationWillTerminateNotification);
    delegate.applicationWillTerminate();
    // Everything with widgets goes while the application object still exists, and before the
    // sound server's connection: a session window that goes now (its end took too long) still
    // puts the sound devices back.
    pex::HttpDatas::shared().setSessionExpiryHandler(nullptr);
    pex::MainMenu::setCurrent(nullptr);
    QList<QPointer<QWidget>> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) windows.append(window);
    for (const QPointer<QWidget>& window : windows) delete window.data();
    // A route made for a session that never opened (the quit came while the sound was being
    // routed) goes back too; after a session's own end there is nothing left to put back.
    if (pex::PXAudioRouter::shared().holdsRoute()) pex::PXAudioRouter::shared().restore();
    // The sound server's connection ends in order, and with it the thread that tells listeners
    // of device changes.
    pex::coreaudio::installBackend(nullptr);
    return withBackgroundThreadsStopped(status);
}
