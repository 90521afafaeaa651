#include "beacon-core/BCNLogger.h"

#include <atomic>
#include <mutex>

#include "beacon-core/BCNBeaconVersion.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {

namespace {

struct CoreLoggerState {
    std::atomic<bool> setUp{false};
    std::mutex setupMutex;
    std::atomic<bool> analyticsDebug{false};
};

CoreLoggerState& state() {
    static auto* logger = new CoreLoggerState;  // SDK code may log while the process exits
    return *logger;
}

void runSetup() {
    UTLLogSetVersion(BCNBeaconVersion());
    UserDefaults& defaults = UserDefaults::standard();
    if (ProcessInfo::hasArgument("-BCNDebugDisabled")) {
        defaults.remove(kBCNDebugModeDefaultsKey);
        UTLLogSetup();
    } else if (defaults.boolean(kBCNDebugModeDefaultsKey) ||
               ProcessInfo::hasArgument("-BCNDebugEnabled")) {
        defaults.set(kBCNDebugModeDefaultsKey, true);
        UTLLogSetup();
        UTLLogForceDebug();
    } else {
        UTLLogSetup();
    }
}

}  // namespace

void BCNLogSetup() {
    CoreLoggerState& logger = state();
    if (logger.setUp.load(std::memory_order_acquire)) return;
    std::lock_guard lock(logger.setupMutex);
    if (logger.setUp.load(std::memory_order_relaxed)) return;
    runSetup();
    logger.setUp.store(true, std::memory_order_release);
}

bool BCNLogAnalyticsDebugMode() {
    return state().analyticsDebug.load(std::memory_order_relaxed);
}

void BCNLogSetLevel(BCNLoggerLevel level) {
    BCNLogSetup();
    UTLLogSetLevel(level);
}

BCNLoggerLevel BCNLogGetLevel() {
    BCNLogSetup();
    return UTLLogGetLevel();
}

bool BCNLogIsLoggable(BCNLoggerLevel level, bool analytics) {
    BCNLogSetup();
    if (analytics && BCNLogAnalyticsDebugMode()) return true;
    return UTLLogIsLoggable(level);
}

void BCNLogSetAnalyticsDebugMode(bool on) {
    state().analyticsDebug = on;
}

void BCNSetLoggerLevelNotice() {
    BCNLogSetLevel(BCNLoggerLevelNotice);
}
void BCNSetLoggerLevelWarning() {
    BCNLogSetLevel(BCNLoggerLevelWarning);
}
void BCNSetLoggerLevelError() {
    BCNLogSetLevel(BCNLoggerLevelError);
}
void BCNSetLoggerLevelDebug() {
    BCNLogSetLevel(BCNLoggerLevelDebug);
}
bool BCNIsLoggableLevelNotice() {
    return BCNLogIsLoggable(BCNLoggerLevelNotice, false);
}
bool BCNIsLoggableLevelWarning() {
    return BCNLogIsLoggable(BCNLoggerLevelWarning, false);
}
bool BCNIsLoggableLevelError() {
    return BCNLogIsLoggable(BCNLoggerLevelError, false);
}
bool BCNIsLoggableLevelDebug() {
    return BCNLogIsLoggable(BCNLoggerLevelDebug, false);
}

void BCNLoggerWrapper::logWithLevel(BCNLoggerLevel level, std::string_view service,
                                    std::string_view code, std::string_view message) {
    BCNLogSetup();
    const bool force = BCNLogAnalyticsDebugMode() && service == kBCNLoggerAnalytics;
    UTLLogMessageText(level, kBCNLoggerSubsystem, service, force, code, message);
}

void BCNLogResetForTesting() {
    CoreLoggerState& logger = state();
    std::lock_guard lock(logger.setupMutex);
    logger.setUp = false;
    logger.analyticsDebug = false;
}

}  // namespace pex
