#include "beacon-core/UTLLogger.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace pex {

namespace {

struct LoggerState {
    std::atomic<int> level{UTLLogLevelNotice};
    std::mutex mutex;  // guards the version and the sink, and keeps lines whole
    std::string version = "(null)";
    std::function<void(const UTLLogRecord&)> sink;
};

LoggerState& state() {
    static auto* logger = new LoggerState;  // SDK code may log while the process exits
    return *logger;
}

}  // namespace

std::string UTLMessageCode(const char* prefix, long number) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%06ld", number);
    return std::string(prefix) + digits;
}

void UTLLogMessage(int level, const std::string& subsystem, const std::string& category, bool force,
                   const std::string& messageCode, const std::string& text) {
    LoggerState& logger = state();
    if (!force && level > logger.level.load()) return;
    std::lock_guard lock(logger.mutex);
    UTLLogRecord record{level, subsystem, category, messageCode,
                        logger.version + " - " + category + "[" + messageCode + "] " + text};
    if (logger.sink) {
        logger.sink(record);
    } else {
        std::fprintf(stderr, "%s\n", record.line.c_str());
    }
}

void UTLLogError(const std::string& subsystem, const std::string& category, bool force,
                 const std::string& messageCode, const std::string& text) {
    UTLLogMessage(UTLLogLevelError, subsystem, category, force, messageCode, text);
}

void UTLLogWarning(const std::string& subsystem, const std::string& category, bool force,
                   const std::string& messageCode, const std::string& text) {
    UTLLogMessage(UTLLogLevelWarning, subsystem, category, force, messageCode, text);
}

void UTLLogSetLevel(int level) {
    if (level < UTLLogLevelError || level > UTLLogLevelDebug) return;
    state().level = level;
}

int UTLLogGetLevel() {
    return state().level.load();
}

void UTLLogSetVersion(const std::string& version) {
    LoggerState& logger = state();
    std::lock_guard lock(logger.mutex);
    logger.version = version;
}

void UTLLogSetSinkForTesting(std::function<void(const UTLLogRecord&)> sink) {
    LoggerState& logger = state();
    std::lock_guard lock(logger.mutex);
    logger.sink = std::move(sink);
}

}  // namespace pex
