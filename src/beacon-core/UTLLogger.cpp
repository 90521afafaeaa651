#include "beacon-core/UTLLogger.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/oslog/OSLog.h"

namespace pex {

namespace {

OSLogType logTypeFor(int level) {
    switch (level) {
        case UTLLogLevelError:
            return OSLogType::Error;
        case UTLLogLevelWarning:
        case UTLLogLevelNotice:
            return OSLogType::Default;
        case UTLLogLevelInfo:
            return OSLogType::Info;
        case UTLLogLevelDebug:
            return OSLogType::Debug;
        default:
            return OSLogType::Error;
    }
}

struct LoggerState {
    std::atomic<int> level{UTLLogLevelNotice};
    std::atomic<bool> forcedDebug{false};
    std::mutex versionMutex;
    std::string version = "(null)";
    DispatchQueue queue =
        DispatchQueue::serial("UTLLoggingClientQueue", QualityOfService::Background);
    // Touched only on `queue`: subsystem → category → handle, made by `handlesBackend`.
    std::map<std::string, std::map<std::string, std::shared_ptr<OSLog>>> handles;
    std::shared_ptr<OSLogBackend> handlesBackend;
};

LoggerState& state() {
    static auto* logger = new LoggerState;  // SDK code may log while the process exits
    return *logger;
}

// On the logging queue: the cached handle for the pair, made when missing. A new backend
// (a test installed one) starts a new cache.
OSLog* handleFor(LoggerState& logger, const std::string& subsystem, const std::string& category) {
    auto backend = OSLogBackend::current();
    if (backend != logger.handlesBackend) {
        logger.handles.clear();
        logger.handlesBackend = backend;
    }
    auto& handle = logger.handles[subsystem][category];
    if (!handle) handle = backend->create(subsystem, category);
    return handle.get();
}

void emitLine(int level, std::string_view subsystem, std::string_view category,
              std::string_view messageCode, std::string_view text) {
    LoggerState& logger = state();
    std::string line;
    {
        std::lock_guard lock(logger.versionMutex);
        line.reserve(logger.version.size() + category.size() + messageCode.size() + text.size() +
                     8);
        line += logger.version;
    }
    line += " - ";
    line += category;
    line += '[';
    line += messageCode;
    line += "] ";
    line += text;
    logger.queue.async([&logger, level, subsystem = std::string(subsystem),
                        category = std::string(category), line = std::move(line)] {
        OSLog* handle = handleFor(logger, subsystem, category);
        const OSLogType type = logTypeFor(level);
        if (handle && handle->isEnabled(type)) handle->write(type, line);
    });
}

}  // namespace

std::string UTLMessageCode(const char* prefix, long number) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%06ld", number);
    return std::string(prefix) + digits;
}

void UTLLogSetup() {
    state();
}

bool UTLLogIsLoggable(int level) {
    const LoggerState& logger = state();
    return logger.forcedDebug.load(std::memory_order_relaxed) ||
           level <= logger.level.load(std::memory_order_relaxed);
}

void UTLLogSetLevel(int level) {
    if (level < UTLLogLevelError || level > UTLLogLevelDebug) {
        UTLLogError("com.beacon.utilities.logger", "[UTLLogger]", true, "I-COR000023",
                    "Invalid logger level, %ld", level);
        return;
    }
    LoggerState& logger = state();
    // An App Store build never turns its log up beyond warnings.
    if (level >= UTLLogLevelNotice && UTLAppEnvironmentUtil::isFromAppStore()) return;
    logger.level = level;
}

int UTLLogGetLevel() {
    return state().level.load();
}

void UTLLogForceDebug() {
    if (UTLAppEnvironmentUtil::isFromAppStore()) return;
    LoggerState& logger = state();
    logger.forcedDebug = true;
    logger.level = UTLLogLevelDebug;
}

void UTLLogSetVersion(const std::string& version) {
    LoggerState& logger = state();
    std::lock_guard lock(logger.versionMutex);
    logger.version = version;
}

void UTLLogMessageText(int level, std::string_view subsystem, std::string_view category, bool force,
                       std::string_view messageCode, std::string_view text) {
    if (!force && !UTLLogIsLoggable(level)) return;
    emitLine(level, subsystem, category, messageCode, text);
}

void UTLLogEmitFormatted(int level, std::string_view subsystem, std::string_view category,
                         std::string_view messageCode, std::string_view format,
                         std::span<const UTLLogArgument> arguments) {
    emitLine(level, subsystem, category, messageCode, UTLFormatLogText(format, arguments));
}

void UTLLogFlush() {
    state().queue.sync([] {});
}

void UTLLogResetForTesting() {
    LoggerState& logger = state();
    logger.forcedDebug = false;
    logger.level = UTLLogLevelNotice;
    std::lock_guard lock(logger.versionMutex);
    logger.version = "(null)";
}

}  // namespace pex
