#include "crashreporter/reports/CRSFileManager.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <system_error>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/StandardFolders.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

std::string joined(const std::string& directory, const std::string& name) {
    return (fs::path(directory) / name).string();
}

std::string pathNamespace() {
    std::string identifier = Bundle::main().bundleIdentifier();
    std::replace(identifier.begin(), identifier.end(), '/', '_');
    return identifier;
}

}  // namespace

CRSFileManager::CRSFileManager()
    : cachesPath_(StandardFolders::caches().string()),
      rootPath_(joined(joined(cachesPath_, "com.crashreporter.data"), pathNamespace())),
      launchDate_(std::chrono::system_clock::now()) {}

std::string CRSFileManager::versionedPath() const {
    return joined(rootPath_, "v5");
}
std::string CRSFileManager::settingsDirectoryPath() const {
    return joined(versionedPath(), "settings");
}
std::string CRSFileManager::settingsFilePath() const {
    return joined(settingsDirectoryPath(), "settings.json");
}
std::string CRSFileManager::settingsCacheKeyPath() const {
    return joined(settingsDirectoryPath(), "cache-key.json");
}
std::string CRSFileManager::structurePath() const {
    return joined(versionedPath(), "reports");
}
std::string CRSFileManager::activePath() const {
    return joined(structurePath(), "active");
}
std::string CRSFileManager::pendingPath() const {
    return joined(structurePath(), "pending");
}
std::string CRSFileManager::processingPath() const {
    return joined(structurePath(), "processing");
}
std::string CRSFileManager::preparedPath() const {
    return joined(structurePath(), "prepared");
}

bool CRSFileManager::fileExistsAtPath(const std::string& path) const {
    std::error_code error;
    return fs::exists(path, error);
}

bool CRSFileManager::createFileAtPath(const std::string& path,
                                      const std::optional<std::string>& contents) const {
    // Report files hold user logs and keys: owner-only.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool written = true;
    if (contents && !contents->empty()) {
        written = CRSFileWriteWithRetries(fd, contents->data(), contents->size());
    }
    return (::close(fd) == 0) && written;
}

bool CRSFileManager::createDirectoryAtPath(const std::string& path) const {
    std::error_code error;
    fs::create_directories(path, error);
    if (!error) {
        // Report folders hold user data: private to the user.
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace, error);
    }
    if (error) {
        CRSErrorLog("Unable to create directory " + error.message());
        return false;
    }
    return true;
}

bool CRSFileManager::removeItemAtPath(const std::optional<std::string>& path) const {
    std::error_code error;
    if (path) {
        fs::remove_all(*path, error);
        if (!error && !fs::exists(fs::symlink_status(*path))) return true;
        if (!error) error = std::make_error_code(std::errc::io_error);
    } else {
        error = std::make_error_code(std::errc::invalid_argument);
    }
    CRSErrorLog("Failed to remove file " + path.value_or("(null)") + ": " + error.message());
    return false;
}

bool CRSFileManager::removeContentsOfDirectoryAtPath(const std::string& directory) const {
    bool removedAll = true;
    enumerateFilesInDirectory(directory, [&](const std::string& path, const std::string&) {
        removedAll = removeItemAtPath(path) && removedAll;
    });
    return removedAll;
}

bool CRSFileManager::moveItemAtPath(const std::optional<std::string>& path,
                                    const std::optional<std::string>& directory) const {
    if (!path || path->empty() || !directory || directory->empty()) {
        CRSErrorLog("Failed to move file, inputs invalid");
        return false;
    }
    const std::string destination = joined(*directory, fs::path(*path).filename().string());
    std::string error;
    if (!moveItemAtPathToPath(*path, destination, &error)) {
        CRSErrorLog("Failed to move file: " + error);
        return false;
    }
    return true;
}

bool CRSFileManager::moveItemAtPathToPath(const std::string& source, const std::string& destination,
                                          std::string* error) const {
    std::error_code code;
    // A move never replaces what stands at the destination.
    if (fs::exists(fs::symlink_status(destination, code))) {
        code = std::make_error_code(std::errc::file_exists);
    } else {
        fs::rename(source, destination, code);
    }
    if (code && error != nullptr) *error = code.message();
    return !code;
}

void CRSFileManager::enumerateFilesInDirectory(
    const std::string& directory,
    const std::function<void(const std::string& path, const std::string& extension)>& block) const {
    std::error_code error;
    std::vector<fs::path> names;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename());
    }
    for (const fs::path& name : names) {
        const std::string text = name.string();
        if (text.empty() || text.front() == '.') continue;
        std::string extension = name.extension().string();
        if (!extension.empty()) extension.erase(0, 1);
        block(joined(directory, text), extension);
    }
}

std::vector<std::string> CRSFileManager::contentsOfDirectory(const std::string& directory) const {
    std::vector<std::string> paths;
    enumerateFilesInDirectory(
        directory, [&](const std::string& path, const std::string&) { paths.push_back(path); });
    return paths;
}

std::vector<std::string> CRSFileManager::activePathContents() const {
    return contentsOfDirectory(activePath());
}
std::vector<std::string> CRSFileManager::processingPathContents() const {
    return contentsOfDirectory(processingPath());
}
std::vector<std::string> CRSFileManager::preparedPathContents() const {
    return contentsOfDirectory(preparedPath());
}

std::optional<std::uint64_t> CRSFileManager::fileSizeAtPath(const std::string& path) const {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        CRSErrorLog("Unable to read file size: " + error.message());
        return std::nullopt;
    }
    return size;
}

std::optional<std::string> CRSFileManager::dataWithContentsOfFile(const std::string& path) const {
    std::error_code error;
    return AtomicFile::read(path, error);
}

bool CRSFileManager::createReportDirectories() const {
    return createDirectoryAtPath(activePath()) && createDirectoryAtPath(processingPath()) &&
           createDirectoryAtPath(preparedPath());
}

std::optional<std::string> CRSFileManager::setupNewPathForExecutionIdentifier(
    const std::string& executionIdentifier) const {
    const std::string path = joined(activePath(), executionIdentifier);
    if (executionIdentifier.empty() || !createDirectoryAtPath(path)) return std::nullopt;
    return path;
}

bool CRSFileManager::didCrashOnPreviousExecution() {
    // The marker is tested once per process; every manager gets that one answer, even when
    // the marker file is created or removed later in the run.
    static std::once_flag once;
    static bool markerExisted = false;
    std::call_once(once, [&] {
        markerExisted = fileExistsAtPath(joined(rootPath_, kCRSPreviouslyCrashedFileName));
    });
    crashFileMarkerExists_ = markerExisted;
    return crashFileMarkerExists_;
}

bool CRSFileManager::metricKitDiagnosticFileExists() const {
    // Plain concatenation: the folder name ends with "/".
    return !contentsOfDirectory(cachesPath_ + "/MetricKit/Diagnostics/").empty();
}

void CRSFileManager::createEmptyMetricKitFile(const std::string& reportDirectory) const {
    createFileAtPath(joined(reportDirectory, "metric_kit_fatal.clsrecord"), std::nullopt);
}

}  // namespace pex
