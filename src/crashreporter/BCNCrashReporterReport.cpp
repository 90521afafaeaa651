#include "crashreporter/BCNCrashReporterReport.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

BCNCrashReporterReport::BCNCrashReporterReport(const CRSInternalReport& internalReport)
    : reportID_(internalReport.identifier()),
      dateCreated_(internalReport.dateCreated()),
      hasCrash_(internalReport.isCrash()),
      logAPath_(internalReport.pathForContentFile("log_a.clsrecord")),
      logBPath_(internalReport.pathForContentFile("log_b.clsrecord")),
      internalIncrementalPath_(
          internalReport.pathForContentFile("internal_incremental_kv.clsrecord")),
      internalCompactedPath_(internalReport.pathForContentFile("internal_compacted_kv.clsrecord")),
      userIncrementalPath_(internalReport.pathForContentFile("user_incremental_kv.clsrecord")),
      userCompactedPath_(internalReport.pathForContentFile("user_compacted_kv.clsrecord")) {
    logStorage_ = {logAPath_.c_str(), logBPath_.c_str(), 0, 0, true, nullptr};
    internalKVStorage_ = {internalIncrementalPath_.c_str(), internalCompactedPath_.c_str(),
                          kCRSUserLoggingMaxIncrementalCount, 0};
    userKVStorage_ = {userIncrementalPath_.c_str(), userCompactedPath_.c_str(),
                      kCRSUserLoggingMaxIncrementalCount, 0};
    if (CRSContextIsInitialized()) {
        const CRSUserLoggingReadOnlyContext& running = crsContext->readonly->logging;
        logStorage_.maxSize = running.logStorage.maxSize;
        logStorage_.maxEntries = running.logStorage.maxEntries;
        logStorage_.restrictBySize = running.logStorage.restrictBySize;
        logStorage_.entryCount = running.logStorage.entryCount;
        internalKVStorage_.maxIncrementalCount = running.internalKVStorage.maxIncrementalCount;
        internalKVStorage_.maxCount = running.internalKVStorage.maxCount;
        userKVStorage_.maxIncrementalCount = running.userKVStorage.maxIncrementalCount;
        userKVStorage_.maxCount = running.userKVStorage.maxCount;
    }
    activeLogPath_ = logStorage_.aPath;
}

BCNCrashReporterReport::~BCNCrashReporterReport() {
    const DispatchQueue queue = CRSUserLoggingQueue();
    if (!queue.isCurrent()) queue.sync([] {});
}

bool BCNCrashReporterReport::checkContextForMethod(const char* method) {
    if (CRSContextIsInitialized()) return true;
    CRSErrorLog(std::string(method) +
                " failed for BCNCrashReporterReport because CrashReporter context isn't "
                "initialized.");
    return false;
}

void BCNCrashReporterReport::log(const std::string& message) {
    if (!checkContextForMethod("log:")) return;
    CRSLogMessageToStorage(&logStorage_, &activeLogPath_, message);
}

void BCNCrashReporterReport::logWithFormat(const char* format, ...) {
    if (!checkContextForMethod("logWithFormat:") || format == nullptr) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        message.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(args);
    CRSLogMessageToStorage(&logStorage_, &activeLogPath_, message);
}

void BCNCrashReporterReport::setUserID(const std::optional<std::string>& userID) {
    if (!checkContextForMethod("setUserID:")) return;
    CRSUserLoggingRecordKeyValue(kCRSUserIdKey, userID ? nlohmann::json(*userID) : nlohmann::json(),
                                 &internalKVStorage_, &internalKVCounter_);
}

void BCNCrashReporterReport::setCustomValue(const nlohmann::json& value,
                                            const std::optional<std::string>& key) {
    if (!checkContextForMethod("setCustomValue:forKey:")) return;
    CRSUserLoggingRecordKeyValue(key, value, &userKVStorage_, &userKVCounter_);
}

void BCNCrashReporterReport::setCustomKeysAndValues(const nlohmann::json& keysAndValues) {
    if (!checkContextForMethod("setCustomKeysAndValues:")) return;
    CRSUserLoggingRecordKeysAndValues(keysAndValues, &userKVStorage_, &userKVCounter_);
}

}  // namespace pex
