#pragma once
// Which SDK subscribes to the sessions component.
#include <optional>
#include <string>

namespace pex {

enum class SessionsSubscriberName : int { Unknown = 0, CrashReporter = 1, Performance = 2 };

inline std::string description(SessionsSubscriberName name) {
    switch (name) {
        case SessionsSubscriberName::Unknown:
            return "Unknown";
        case SessionsSubscriberName::CrashReporter:
            return "CrashReporter";
        case SessionsSubscriberName::Performance:
            return "Performance";
    }
    return "Unknown";
}

// 0 to 2; none for any other value.
inline std::optional<SessionsSubscriberName> subscriberNameFromRawValue(int value) {
    if (value < 0 || value > 2) return std::nullopt;
    return static_cast<SessionsSubscriberName>(value);
}

}  // namespace pex
