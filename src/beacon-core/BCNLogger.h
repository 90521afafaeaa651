#pragma once
// The core's logging calls. Every line goes through the utilities layer under the subsystem
// "com.beacon" with a service tag ("[BeaconCore]") as its category and a code such as
// "I-COR000001". The first call registers the core version for the line prefix and reads the
// launch arguments: "-BCNDebugEnabled" turns debug lines on and is remembered in the standard
// user defaults ("/beacon/debug_mode") for later launches, "-BCNDebugDisabled" forgets it and
// wins over the other.
#include <string_view>

#include "beacon-core/UTLLogger.h"

namespace pex {

using BCNLoggerLevel = int;
constexpr BCNLoggerLevel BCNLoggerLevelError = UTLLogLevelError;
constexpr BCNLoggerLevel BCNLoggerLevelWarning = UTLLogLevelWarning;
constexpr BCNLoggerLevel BCNLoggerLevelNotice = UTLLogLevelNotice;
constexpr BCNLoggerLevel BCNLoggerLevelInfo = UTLLogLevelInfo;
constexpr BCNLoggerLevel BCNLoggerLevelDebug = UTLLogLevelDebug;

inline constexpr const char* kBCNLoggerSubsystem = "com.beacon";
inline constexpr const char* kBCNLoggerCore = "[BeaconCore]";
inline constexpr const char* kBCNLoggerAnalytics = "[BeaconAnalytics]";
inline constexpr const char* kBCNDebugModeDefaultsKey = "/beacon/debug_mode";

void BCNLogSetup();
bool BCNLogAnalyticsDebugMode();

template <typename... Args>
void BCNLogBasic(BCNLoggerLevel level, std::string_view service, std::string_view code,
                 std::string_view format, const Args&... args) {
    BCNLogSetup();
    const bool force = BCNLogAnalyticsDebugMode() && service == kBCNLoggerAnalytics;
    UTLLogMessage(level, kBCNLoggerSubsystem, service, force, code, format, args...);
}

template <typename... Args>
void BCNLogError(std::string_view service, std::string_view code, std::string_view format,
                 const Args&... args) {
    BCNLogBasic(BCNLoggerLevelError, service, code, format, args...);
}
template <typename... Args>
void BCNLogWarning(std::string_view service, std::string_view code, std::string_view format,
                   const Args&... args) {
    BCNLogBasic(BCNLoggerLevelWarning, service, code, format, args...);
}
template <typename... Args>
void BCNLogNotice(std::string_view service, std::string_view code, std::string_view format,
                  const Args&... args) {
    BCNLogBasic(BCNLoggerLevelNotice, service, code, format, args...);
}
template <typename... Args>
void BCNLogInfo(std::string_view service, std::string_view code, std::string_view format,
                const Args&... args) {
    BCNLogBasic(BCNLoggerLevelInfo, service, code, format, args...);
}
template <typename... Args>
void BCNLogDebug(std::string_view service, std::string_view code, std::string_view format,
                 const Args&... args) {
    BCNLogBasic(BCNLoggerLevelDebug, service, code, format, args...);
}

void BCNLogSetLevel(BCNLoggerLevel level);
BCNLoggerLevel BCNLogGetLevel();
// True when `analytics` is set and the analytics debug mode is on; else the level filter.
bool BCNLogIsLoggable(BCNLoggerLevel level, bool analytics);
void BCNLogSetAnalyticsDebugMode(bool on);

void BCNSetLoggerLevelNotice();
void BCNSetLoggerLevelWarning();
void BCNSetLoggerLevelError();
void BCNSetLoggerLevelDebug();
bool BCNIsLoggableLevelNotice();
bool BCNIsLoggableLevelWarning();
bool BCNIsLoggableLevelError();
bool BCNIsLoggableLevelDebug();

class BCNLoggerWrapper {
  public:
    // Prints `message` unchanged: it is never read as a format.
    static void logWithLevel(BCNLoggerLevel level, std::string_view service, std::string_view code,
                             std::string_view message);
};

// Lets the next logging call run the set-up again (launch arguments, remembered flag), and
// turns the analytics debug mode off, for tests.
void BCNLogResetForTesting();

}  // namespace pex
