#pragma once
// One report: the directory of record files that one launch of the application wrote, named
// after the launch's execution identifier. Tells whether the launch crashed or logged any
// event, and reads its identity, versions and dates from "metadata.clsrecord".
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex {

class CRSFileManager;

class CRSInternalReport {
  public:
    using Date = std::chrono::system_clock::time_point;

    // The report in `path`. When its metadata names no identity (logged), a folder named like an
    // execution identifier that holds a readable event record is still a report, under its
    // folder's name; anything else gives nothing.
    static std::shared_ptr<CRSInternalReport> reportWithPath(const std::string& path);
    // The report with a known identifier; nothing unless both are given.
    static std::shared_ptr<CRSInternalReport> reportWithPath(
        const std::string& path, const std::string& executionIdentifier);
    // The reports of `paths`, in order. A folder whose metadata names no identity is removed
    // through `fileManager` when it was last written before the current launch began (a launch
    // that died before its metadata was whole, or a damaged file); it would otherwise stay in
    // "active" for ever. A newer one may still be being written and is only skipped.
    static std::vector<std::shared_ptr<CRSInternalReport>> reportsAtPathsRemovingAbandoned(
        const std::vector<std::string>& paths, const CRSFileManager& fileManager);

    CRSInternalReport(std::string path, std::string identifier);
    CRSInternalReport(const CRSInternalReport&) = delete;
    CRSInternalReport& operator=(const CRSInternalReport&) = delete;

    // "exception", "mach_exception", "signal", "metric_kit_fatal", "custom_fatal" record files.
    static const std::vector<std::string>& crashFileNames();
    // The nine record files that count as events (log and key-value files do not).
    static const std::vector<std::string>& eventFileNames();
    // The sections of a record file, as written; nothing when it yields none.
    static std::optional<std::vector<nlohmann::json>> readCRSFileAtPath(const std::string& path);

    const std::string& identifier() const { return identifier_; }
    const std::string& path() const { return path_; }
    std::string directoryName() const;
    std::string pathForContentFile(const std::string& name) const;
    std::string metadataPath() const;
    std::string binaryImagePath() const;

    // Read on first use and kept, also when empty.
    const std::vector<nlohmann::json>& metadataSections() const;

    bool isCrash() const;
    bool hasAnyEvents() const;
    bool checkExistenceOfAtLeastOneFileInArray(const std::vector<std::string>& names) const;
    // Every crash file's full path in list order, whether or not it exists.
    void enumerateSymbolicatableFilesInContent(
        const std::function<void(const std::string& path)>& block) const;

    std::optional<Date> dateCreated() const;
    // For a crash: the Mach exception's time, else the signal's; nothing when neither has one.
    std::optional<Date> crashedOnDate() const;
    std::optional<Date> timeFromCrashContentFile(const std::string& fileName,
                                                 const std::string& sectionName) const;

    std::optional<std::string> orgID() const;
    std::optional<std::string> OSVersion() const;
    std::optional<std::string> OSBuildVersion() const;
    std::optional<std::string> bundleVersion() const;
    std::optional<std::string> bundleShortVersionString() const;
    // Custom keys are read from their own record files, never from here.
    std::optional<nlohmann::json> customKeys() const { return std::nullopt; }

  private:
    // The text under metadata section `index` → `section` → `key`.
    std::optional<std::string> metadataString(std::size_t index, const char* section,
                                              const char* key) const;

    std::string path_;
    std::string identifier_;
    mutable std::once_flag metadataOnce_;
    mutable std::vector<nlohmann::json> metadataSections_;
};

}  // namespace pex
