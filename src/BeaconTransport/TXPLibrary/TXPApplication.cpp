#include "BeaconTransport/TXPLibrary/TXPApplication.h"

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "platform/foundation/Bundle.h"

namespace pex {

TXPApplication& TXPApplication::sharedApplication() {
    static auto* application = [] {
        TXPLogDebug(0,
                    "TX is initializing. Please note that if you quit the app via the debugger and "
                    "not through a lifecycle event, event data will remain on disk but storage "
                    "won't have a reference to them since the singleton wasn't saved to disk.");
        return new TXPApplication;
    }();
    return *application;
}

TXPApplication::TXPApplication() {
    NotificationCenter& centre = NotificationCenter::defaultCenter();
    terminateObserver_ = ScopedObserver(
        centre,
        centre.addObserver(TXPSystemApplicationWillTerminateNotification, nullptr,
                           [this](const Notification& n) { macOSApplicationWillTerminate(n); }));
}

TXPBackgroundIdentifier TXPApplication::beginBackgroundTask(const std::string&,
                                                            std::function<void()>) {
    return TXPBackgroundIdentifierInvalid;
}

void TXPApplication::endBackgroundTask(TXPBackgroundIdentifier identifier) {
    if (identifier == TXPBackgroundIdentifierInvalid) return;
    TXPLogDebug(0,
                "Ending background task with ID:" + std::to_string(identifier) + " was successful");
}

bool TXPApplication::isAppExtensionPath(const std::string& bundlePath) {
    std::string path = bundlePath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path.size() >= 6 && path.compare(path.size() - 6, 6, ".appex") == 0;
}

bool TXPApplication::isAppExtension() const {
    return isAppExtensionPath(Bundle::executableDirectory().string());
}

void TXPApplication::macOSApplicationWillTerminate(const Notification&) {
    TXPLogDebug(0, "TXPPlatform is sending a notif that the app is terminating.");
    NotificationCenter::defaultCenter().post(TXPApplicationWillTerminateNotification);
}

}  // namespace pex
