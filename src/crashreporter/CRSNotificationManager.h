#pragma once
// Keeps the current report's internal key "com.crashreporter.in-background" in step with the
// application's activation, so a crash report tells whether the user was looking at the app.
#include "platform/foundation/NotificationCenter.h"

namespace pex {

class CRSNotificationManager {
  public:
    static constexpr const char* kInBackgroundKey = "com.crashreporter.in-background";

    explicit CRSNotificationManager(
        NotificationCenter& centre = NotificationCenter::defaultCenter());

    // Called once, after the crash context has started: records "in foreground", then follows
    // the activation notifications until this manager goes away.
    void registerNotificationListener();
    void captureInitialNotificationStates();

    void willBecomeActive(const Notification& notification);
    void didBecomeInactive(const Notification& notification);

  private:
    NotificationCenter& centre_;
    ScopedObserver willBecomeActiveObserver_;
    ScopedObserver didResignActiveObserver_;
};

}  // namespace pex
