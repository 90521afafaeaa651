#include "crashreporter/reports/CRSInternalReport.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSContextMetadata.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<std::uint64_t> unsignedValue(const nlohmann::json* value) {
    if (value == nullptr) return std::nullopt;
    if (value->is_number_unsigned()) return value->get<std::uint64_t>();
    if (value->is_number_integer()) {
        const auto signedValue = value->get<std::int64_t>();
        if (signedValue >= 0) return static_cast<std::uint64_t>(signedValue);
        return std::nullopt;
    }
    if (value->is_number_float() && value->get<double>() >= 0 && value->get<double>() < 1.8e19) {
        return static_cast<std::uint64_t>(value->get<double>());
    }
    return std::nullopt;
}

CRSInternalReport::Date dateFromSeconds(std::uint64_t seconds) {
    // Clamped so a damaged value cannot overflow the clock's representation.
    constexpr std::uint64_t kMaxSeconds = 1ULL << 40;
    return CRSInternalReport::Date(std::chrono::seconds(std::min(seconds, kMaxSeconds)));
}

// The later of the folder's and its metadata file's last change, as a wall-clock time.
std::optional<CRSInternalReport::Date> lastWritten(const std::string& folder) {
    std::optional<CRSInternalReport::Date> latest;
    for (const fs::path& path : {fs::path(folder), fs::path(folder) / kCRSMetadataFileName}) {
        std::error_code error;
        const auto written = fs::last_write_time(path, error);
        if (error) continue;
        const auto wall = std::chrono::time_point_cast<CRSInternalReport::Date::duration>(
            std::chrono::file_clock::to_sys(written));
        if (!latest || wall > *latest) latest = wall;
    }
    return latest;
}

// A launch names its report folder after its execution identifier: 32 lowercase hex digits.
bool isExecutionIdentifier(const std::string& name) {
    return name.size() == 32 && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// Whether any event record of the folder has a section that reads.
bool holdsReadableEvent(const std::string& folder) {
    for (const std::string& name : CRSInternalReport::eventFileNames()) {
        if (CRSInternalReport::readCRSFileAtPath((fs::path(folder) / name).string())) return true;
    }
    return false;
}

}  // namespace

std::shared_ptr<CRSInternalReport> CRSInternalReport::reportWithPath(const std::string& path) {
    auto sections = readCRSFileAtPath((fs::path(path) / kCRSMetadataFileName).string());
    const nlohmann::json* identity =
        sections && !sections->empty() ? member(sections->front(), "identity") : nullptr;
    const nlohmann::json* sessionID = identity ? member(*identity, "session_id") : nullptr;
    if (sessionID != nullptr && sessionID->is_string()) {
        return std::make_shared<CRSInternalReport>(path, sessionID->get<std::string>());
    }
    CRSErrorLog("Unable to read identifier at path " + path);
    // Damaged metadata must not cost a crash that was recorded whole: the folder's name is the
    // identifier the metadata would have held.
    const std::string folderName = fs::path(path).filename().string();
    if (isExecutionIdentifier(folderName) && holdsReadableEvent(path)) {
        CRSErrorLog("Taking the identifier of the report at " + path + " from its folder name");
        return std::make_shared<CRSInternalReport>(path, folderName);
    }
    return nullptr;
}

std::shared_ptr<CRSInternalReport> CRSInternalReport::reportWithPath(
    const std::string& path, const std::string& executionIdentifier) {
    if (path.empty() || executionIdentifier.empty()) return nullptr;
    return std::make_shared<CRSInternalReport>(path, executionIdentifier);
}

std::vector<std::shared_ptr<CRSInternalReport>> CRSInternalReport::reportsAtPathsRemovingAbandoned(
    const std::vector<std::string>& paths, const CRSFileManager& fileManager) {
    std::vector<std::shared_ptr<CRSInternalReport>> reports;
    for (const std::string& path : paths) {
        if (auto report = reportWithPath(path)) {
            reports.push_back(std::move(report));
            continue;
        }
        // File times come from the kernel's coarse clock and may read a little earlier than
        // the launch date of a folder made just after it; a second's margin keeps those.
        const auto written = lastWritten(path);
        if (written && *written < fileManager.launchDate() - std::chrono::seconds(1)) {
            CRSInfoLog("Removing report without identity from an earlier launch at " + path);
            fileManager.removeItemAtPath(path);
        }
    }
    return reports;
}

CRSInternalReport::CRSInternalReport(std::string path, std::string identifier)
    : path_(std::move(path)), identifier_(std::move(identifier)) {}

const std::vector<std::string>& CRSInternalReport::crashFileNames() {
    static const std::vector<std::string> names = {
        "exception.clsrecord", "mach_exception.clsrecord", "signal.clsrecord",
        "metric_kit_fatal.clsrecord", "custom_fatal.clsrecord"};
    return names;
}

const std::vector<std::string>& CRSInternalReport::eventFileNames() {
    static const std::vector<std::string> names = {"exception.clsrecord",
                                                   "signal.clsrecord",
                                                   "custom_exception_a.clsrecord",
                                                   "custom_exception_b.clsrecord",
                                                   "metric_kit_fatal.clsrecord",
                                                   "metric_kit_nonfatal.clsrecord",
                                                   "mach_exception.clsrecord",
                                                   "errors_a.clsrecord",
                                                   "errors_b.clsrecord"};
    return names;
}

std::optional<std::vector<nlohmann::json>> CRSInternalReport::readCRSFileAtPath(
    const std::string& path) {
    auto sections = CRSFileReadSections(path.c_str(), false);
    if (!sections || sections->empty()) return std::nullopt;
    return sections;
}

std::string CRSInternalReport::directoryName() const {
    return fs::path(path_).filename().string();
}

std::string CRSInternalReport::pathForContentFile(const std::string& name) const {
    return (fs::path(path_) / name).string();
}

std::string CRSInternalReport::metadataPath() const {
    return pathForContentFile(kCRSMetadataFileName);
}

std::string CRSInternalReport::binaryImagePath() const {
    return pathForContentFile(kCRSBinaryImagesFileName);
}

const std::vector<nlohmann::json>& CRSInternalReport::metadataSections() const {
    std::call_once(metadataOnce_, [&] {
        metadataSections_ =
            readCRSFileAtPath(metadataPath()).value_or(std::vector<nlohmann::json>{});
    });
    return metadataSections_;
}

bool CRSInternalReport::isCrash() const {
    return checkExistenceOfAtLeastOneFileInArray(crashFileNames());
}

bool CRSInternalReport::hasAnyEvents() const {
    return checkExistenceOfAtLeastOneFileInArray(eventFileNames());
}

bool CRSInternalReport::checkExistenceOfAtLeastOneFileInArray(
    const std::vector<std::string>& names) const {
    for (const std::string& name : names) {
        std::error_code error;
        if (fs::exists(pathForContentFile(name), error)) return true;
    }
    return false;
}

void CRSInternalReport::enumerateSymbolicatableFilesInContent(
    const std::function<void(const std::string& path)>& block) const {
    for (const std::string& name : crashFileNames()) block(pathForContentFile(name));
}

std::optional<CRSInternalReport::Date> CRSInternalReport::dateCreated() const {
    const auto& sections = metadataSections();
    if (sections.empty()) return std::nullopt;
    const nlohmann::json* identity = member(sections[0], "identity");
    auto seconds = unsignedValue(identity ? member(*identity, "started_at") : nullptr);
    if (!seconds) return std::nullopt;
    return dateFromSeconds(*seconds);
}

std::optional<CRSInternalReport::Date> CRSInternalReport::crashedOnDate() const {
    if (!isCrash()) return std::nullopt;
    if (auto date = timeFromCrashContentFile("mach_exception.clsrecord", "mach_exception")) {
        return date;
    }
    return timeFromCrashContentFile("signal.clsrecord", "signal");
}

std::optional<CRSInternalReport::Date> CRSInternalReport::timeFromCrashContentFile(
    const std::string& fileName, const std::string& sectionName) const {
    auto sections = readCRSFileAtPath(pathForContentFile(fileName));
    if (!sections) return std::nullopt;
    for (const nlohmann::json& section : *sections) {
        const nlohmann::json* body = member(section, sectionName.c_str());
        if (body == nullptr) continue;
        auto seconds = unsignedValue(member(*body, "time"));
        return seconds ? std::optional(dateFromSeconds(*seconds)) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> CRSInternalReport::metadataString(std::size_t index, const char* section,
                                                             const char* key) const {
    const auto& sections = metadataSections();
    if (sections.size() <= index) return std::nullopt;
    const nlohmann::json* body = member(sections[index], section);
    const nlohmann::json* value = body ? member(*body, key) : nullptr;
    if (value == nullptr || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<std::string> CRSInternalReport::orgID() const {
    return metadataString(0, "identity", "org_id");
}
std::optional<std::string> CRSInternalReport::OSVersion() const {
    return metadataString(1, "host", "os_display_version");
}
std::optional<std::string> CRSInternalReport::OSBuildVersion() const {
    return metadataString(1, "host", "os_build_version");
}
std::optional<std::string> CRSInternalReport::bundleVersion() const {
    return metadataString(2, "application", "build_version");
}
std::optional<std::string> CRSInternalReport::bundleShortVersionString() const {
    return metadataString(2, "application", "display_version");
}

}  // namespace pex
