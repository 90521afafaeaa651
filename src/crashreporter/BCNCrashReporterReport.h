#pragma once
// The application's view of an unsent report from an earlier run. Until it is sent or deleted
// the application may still annotate it: log lines, the user identifier and custom keys go into
// that report's own files, not the current run's, and travel with it.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/runtime/CRSUserLogging.h"

namespace pex {

class BCNCrashReporterReport {
  public:
    using Date = std::chrono::system_clock::time_point;

    // Copies the report's facts and the paths of its log and key-value files; the limits come
    // from the running crash context's own storage records.
    explicit BCNCrashReporterReport(const CRSInternalReport& internalReport);
    // Waits for the logging queue's work on this report's records (compaction, file swaps).
    ~BCNCrashReporterReport();
    BCNCrashReporterReport(const BCNCrashReporterReport&) = delete;
    BCNCrashReporterReport& operator=(const BCNCrashReporterReport&) = delete;

    const std::string& reportID() const { return reportID_; }
    const std::optional<Date>& dateCreated() const { return dateCreated_; }
    bool hasCrash() const { return hasCrash_; }

    void log(const std::string& message);
    void logWithFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void setUserID(const std::optional<std::string>& userID);
    void setCustomValue(const nlohmann::json& value, const std::optional<std::string>& key);
    void setCustomKeysAndValues(const nlohmann::json& keysAndValues);

    // True when the crash context is initialised; otherwise logs that `method` was refused.
    static bool checkContextForMethod(const char* method);

  private:
    std::string reportID_;
    std::optional<Date> dateCreated_;
    bool hasCrash_;
    // Owned copies of the content-file paths the storage records point at.
    std::string logAPath_, logBPath_;
    std::string internalIncrementalPath_, internalCompactedPath_;
    std::string userIncrementalPath_, userCompactedPath_;
    CRSUserLoggingABStorage logStorage_{};
    const char* activeLogPath_ = nullptr;
    int internalKVCounter_ = 0;
    CRSUserLoggingKVStorage internalKVStorage_{};
    int userKVCounter_ = 0;
    CRSUserLoggingKVStorage userKVStorage_{};
};

}  // namespace pex
