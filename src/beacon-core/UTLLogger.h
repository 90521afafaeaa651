#pragma once
// The utilities' logging layer. A message is emitted when its level is at most the current
// level (notice, 5, at start), when forced debug is on, or when the caller forces it. The
// filter runs first on the caller's thread, before any argument is formatted; the line
// "<version> - <category>[<code>] <text>" then goes to the system log (platform/oslog) on
// the serial background queue "UTLLoggingClientQueue", which keeps the order of the calls.
#include <array>
#include <string>
#include <string_view>

#include "beacon-core/UTLLogArgument.h"

namespace pex {

enum UTLLogLevel : int {
    UTLLogLevelError = 3,
    UTLLogLevelWarning = 4,
    UTLLogLevelNotice = 5,
    UTLLogLevelInfo = 6,
    UTLLogLevelDebug = 7,
};

// "I-UTL%06ld" and its kin: `prefix` followed by `number` in six digits.
std::string UTLMessageCode(const char* prefix, long number);

void UTLLogSetup();
// Levels 3 and 4 are always taken, 5 to 7 only outside the App Store; any other level is
// refused with a forced error line I-COR000023.
void UTLLogSetLevel(int level);
int UTLLogGetLevel();
bool UTLLogIsLoggable(int level);
// Outside the App Store: forced debug on for the rest of the process, level 7.
void UTLLogForceDebug();
// The version printed at the start of each line; "(null)" until one is set.
void UTLLogSetVersion(const std::string& version);

// Emits `text` as it stands (no directive is read), when it passes the filter.
void UTLLogMessageText(int level, std::string_view subsystem, std::string_view category, bool force,
                       std::string_view messageCode, std::string_view text);
// Formats and emits an already-filtered message; callers use `UTLLogMessage`.
void UTLLogEmitFormatted(int level, std::string_view subsystem, std::string_view category,
                         std::string_view messageCode, std::string_view format,
                         std::span<const UTLLogArgument> arguments);

template <typename... Args>
void UTLLogMessage(int level, std::string_view subsystem, std::string_view category, bool force,
                   std::string_view messageCode, std::string_view format, const Args&... args) {
    if (!force && !UTLLogIsLoggable(level)) return;
    const std::array<UTLLogArgument, sizeof...(Args)> arguments{UTLLogArgument(args)...};
    UTLLogEmitFormatted(level, subsystem, category, messageCode, format, arguments);
}

template <typename... Args>
void UTLLogError(std::string_view subsystem, std::string_view category, bool force,
                 std::string_view code, std::string_view format, const Args&... args) {
    UTLLogMessage(UTLLogLevelError, subsystem, category, force, code, format, args...);
}
template <typename... Args>
void UTLLogWarning(std::string_view subsystem, std::string_view category, bool force,
                   std::string_view code, std::string_view format, const Args&... args) {
    UTLLogMessage(UTLLogLevelWarning, subsystem, category, force, code, format, args...);
}
template <typename... Args>
void UTLLogNotice(std::string_view subsystem, std::string_view category, bool force,
                  std::string_view code, std::string_view format, const Args&... args) {
    UTLLogMessage(UTLLogLevelNotice, subsystem, category, force, code, format, args...);
}
template <typename... Args>
void UTLLogInfo(std::string_view subsystem, std::string_view category, bool force,
                std::string_view code, std::string_view format, const Args&... args) {
    UTLLogMessage(UTLLogLevelInfo, subsystem, category, force, code, format, args...);
}
template <typename... Args>
void UTLLogDebug(std::string_view subsystem, std::string_view category, bool force,
                 std::string_view code, std::string_view format, const Args&... args) {
    UTLLogMessage(UTLLogLevelDebug, subsystem, category, force, code, format, args...);
}

class UTLLoggerWrapper {
  public:
    template <typename... Args>
    static void logWithLevel(int level, std::string_view subsystem, std::string_view category,
                             std::string_view messageCode, std::string_view format,
                             const Args&... args) {
        UTLLogMessage(level, subsystem, category, false, messageCode, format, args...);
    }
    // The service is the category under the subsystem "com.beacon.utilities.logger".
    template <typename... Args>
    static void logWithService(int level, std::string_view service, std::string_view messageCode,
                               std::string_view format, const Args&... args) {
        UTLLogMessage(level, "com.beacon.utilities.logger", service, false, messageCode, format,
                      args...);
    }
};

// Waits until every line handed to the logging queue so far has been emitted.
void UTLLogFlush();
// Level 5, forced debug off, no version: a fresh process's state, for tests.
void UTLLogResetForTesting();

}  // namespace pex
