#include "BeaconTransport/TXPLibrary/TXPLifecycle.h"

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex {

TXPLifecycle& TXPLifecycle::sharedInstance() {
    static auto* lifecycle = new TXPLifecycle(TXPApplication::sharedApplication(), [] {
        return Receivers{TXPUploadCoordinator::sharedInstance(), TXPRegistrar::sharedPointer()};
    });
    return *lifecycle;
}

TXPLifecycle::TXPLifecycle(TXPApplication& application, std::function<Receivers()> receivers)
    : application_(application), receivers_(std::move(receivers)) {
    NotificationCenter& centre = NotificationCenter::defaultCenter();
    backgroundObserver_ =
        ScopedObserver(centre, centre.addObserver(TXPApplicationDidEnterBackgroundNotification,
                                                  nullptr, [this](const Notification& n) {
                                                      applicationDidEnterBackgroundNotification(n);
                                                  }));
    foregroundObserver_ =
        ScopedObserver(centre, centre.addObserver(TXPApplicationWillEnterForegroundNotification,
                                                  nullptr, [this](const Notification& n) {
                                                      applicationWillEnterForegroundNotification(n);
                                                  }));
    terminateObserver_ = ScopedObserver(
        centre, centre.addObserver(
                    TXPApplicationWillTerminateNotification, nullptr,
                    [this](const Notification& n) { applicationWillTerminateNotification(n); }));
}

template <typename Call>
void TXPLifecycle::relay(const char* verb, Call call) {
    Receivers receivers = receivers_();
    // The transformer answers none of the lifecycle calls, so it is not asked.
    if (receivers.coordinator) {
        TXPLogDebug(0, std::string("Signaling TXPUploadCoordinator that the app is ") + verb + ".");
        call(static_cast<TXPLifecycleProtocol&>(*receivers.coordinator));
    }
    if (receivers.registrar) {
        TXPLogDebug(0, std::string("Signaling TXPRegistrar that the app is ") + verb + ".");
        call(static_cast<TXPLifecycleProtocol&>(*receivers.registrar));
    }
}

void TXPLifecycle::applicationDidEnterBackgroundNotification(const Notification&) {
    relay("backgrounding",
          [this](TXPLifecycleProtocol& receiver) { receiver.appWillBackground(application_); });
}

void TXPLifecycle::applicationWillEnterForegroundNotification(const Notification&) {
    relay("foregrounding",
          [this](TXPLifecycleProtocol& receiver) { receiver.appWillForeground(application_); });
}

void TXPLifecycle::applicationWillTerminateNotification(const Notification&) {
    relay("terminating",
          [this](TXPLifecycleProtocol& receiver) { receiver.appWillTerminate(application_); });
}

}  // namespace pex
