#pragma once
// The utilities' log lines. A line reads "<version> - <category>[<code>] <text>"; it is emitted
// when its level is at most the current level (notice, 5, at start) or when forced. Lines go
// to stderr, or to a sink that a test installs.
#include <functional>
#include <string>

namespace pex {

enum UTLLogLevel : int {
    UTLLogLevelError = 3,
    UTLLogLevelWarning = 4,
    UTLLogLevelNotice = 5,
    UTLLogLevelInfo = 6,
    UTLLogLevelDebug = 7,
};

struct UTLLogRecord {
    int level = 0;
    std::string subsystem;
    std::string category;
    std::string messageCode;
    std::string line;
};

// "I-UTL%06ld" and its kin: `prefix` followed by `number` in six digits.
std::string UTLMessageCode(const char* prefix, long number);

void UTLLogMessage(int level, const std::string& subsystem, const std::string& category, bool force,
                   const std::string& messageCode, const std::string& text);
void UTLLogError(const std::string& subsystem, const std::string& category, bool force,
                 const std::string& messageCode, const std::string& text);
void UTLLogWarning(const std::string& subsystem, const std::string& category, bool force,
                   const std::string& messageCode, const std::string& text);

// Levels 3 to 7; others are ignored.
void UTLLogSetLevel(int level);
int UTLLogGetLevel();
// The version printed at the start of each line; "(null)" until one is set.
void UTLLogSetVersion(const std::string& version);

// Receives every emitted line in place of stderr; an empty function restores stderr.
void UTLLogSetSinkForTesting(std::function<void(const UTLLogRecord&)> sink);

}  // namespace pex
