#pragma once
// The application's lifecycle, posted on the default notification centre by the process entry
// so that code below the UI (the SDK) can follow it without knowing the UI toolkit.
namespace pex {

inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "NSApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillResignActiveNotification =
    "NSApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationDidResignActiveNotification =
    "NSApplicationDidResignActiveNotification";
inline constexpr const char* kApplicationWillTerminateNotification =
    "NSApplicationWillTerminateNotification";

}  // namespace pex
