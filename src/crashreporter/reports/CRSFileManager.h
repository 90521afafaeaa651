#pragma once
// The crash SDK's place on disk. Every other part of report management asks it for paths and
// goes through it to create, move, list and remove files, so the layout lives here alone:
//
//   <caches>/com.crashreporter.data/<bundle identifier, "/" → "_">     rootPath
//     previously-crashed                  marker written at crash time
//     v5/settings/settings.json           downloaded settings
//     v5/settings/cache-key.json          what the settings were fetched for, and when
//     v5/reports/launchmarker             launch-failure marker
//     v5/reports/active/<execution id>    this launch's report and reports not yet handled
//     v5/reports/processing, prepared     later stages of a report ("pending" is never made)
//
// Names starting with "." never show up in a listing. Failures are logged and answered with
// false or nothing; nothing throws.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pex {

class CRSFileManager {
  public:
    CRSFileManager();  // touches no file

    const std::string& rootPath() const { return rootPath_; }
    const std::string& cachesPath() const { return cachesPath_; }
    // When this manager was made: the start of the current launch's crash reporting.
    std::chrono::system_clock::time_point launchDate() const { return launchDate_; }

    std::string versionedPath() const;
    std::string settingsDirectoryPath() const;
    std::string settingsFilePath() const;
    std::string settingsCacheKeyPath() const;
    std::string structurePath() const;
    std::string activePath() const;
    std::string pendingPath() const;
    std::string processingPath() const;
    std::string preparedPath() const;

    bool fileExistsAtPath(const std::string& path) const;
    bool createFileAtPath(const std::string& path,
                          const std::optional<std::string>& contents) const;
    bool createDirectoryAtPath(const std::string& path) const;
    bool removeItemAtPath(const std::optional<std::string>& path) const;
    bool removeContentsOfDirectoryAtPath(const std::string& directory) const;
    bool moveItemAtPath(const std::optional<std::string>& path,
                        const std::optional<std::string>& directory) const;
    bool moveItemAtPathToPath(const std::string& source, const std::string& destination,
                              std::string* error = nullptr) const;

    // Calls `block` with the full path and the extension (without ".") of every entry whose
    // name does not start with ".", in listing order. A folder that cannot be listed is empty.
    void enumerateFilesInDirectory(
        const std::string& directory,
        const std::function<void(const std::string& path, const std::string& extension)>& block)
        const;
    std::vector<std::string> contentsOfDirectory(const std::string& directory) const;
    std::vector<std::string> activePathContents() const;
    std::vector<std::string> processingPathContents() const;
    std::vector<std::string> preparedPathContents() const;

    std::optional<std::uint64_t> fileSizeAtPath(const std::string& path) const;
    std::optional<std::string> dataWithContentsOfFile(const std::string& path) const;

    // Makes "active", "processing" and "prepared", stopping at the first failure.
    bool createReportDirectories() const;
    // Makes active/<executionIdentifier>; its path, or nothing when that failed.
    std::optional<std::string> setupNewPathForExecutionIdentifier(
        const std::string& executionIdentifier) const;

    // Whether "previously-crashed" existed when the process first asked; the same answer for
    // the rest of the process.
    bool didCrashOnPreviousExecution();
    bool crashFileMarkerExists() const { return crashFileMarkerExists_; }
    void setCrashFileMarkerExists(bool exists) { crashFileMarkerExists_ = exists; }

    bool metricKitDiagnosticFileExists() const;
    void createEmptyMetricKitFile(const std::string& reportDirectory) const;

  private:
    std::string cachesPath_;
    std::string rootPath_;
    std::chrono::system_clock::time_point launchDate_;
    bool crashFileMarkerExists_ = false;
};

}  // namespace pex
