#pragma once
// The application's lifecycle, posted on the default notification centre by the process entry
// so that code below the UI (the SDK) can follow it without knowing the UI toolkit.
#include "platform/foundation/NotificationCenter.h"

namespace pex {

inline constexpr const char* kApplicationWillBecomeActiveNotification =
    "NSApplicationWillBecomeActiveNotification";
inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "NSApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillResignActiveNotification =
    "NSApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidResignActiveNotification =
    "NSApplicationDidResignActiveNotification";
inline constexpr const char* kApplicationWillTerminateNotification =
    "NSApplicationWillTerminateNotification";

// The toolkit reports one change of state; listeners may follow either side of it, so both the
// "will" and the "did" notification go out, in that order.
inline void postApplicationActiveChange(
    bool active, NotificationCenter& centre = NotificationCenter::defaultCenter()) {
    if (active) {
        centre.post(kApplicationWillBecomeActiveNotification);
        centre.post(kApplicationDidBecomeActiveNotification);
    } else {
        centre.post(kApplicationWillResignActiveNotification);
        centre.post(kApplicationDidResignActiveNotification);
    }
}

}  // namespace pex
