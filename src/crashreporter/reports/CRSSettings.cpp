#include "crashreporter/reports/CRSSettings.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/DefaultsValueReading.h"

namespace pex {

namespace {

// Settings documents are small; a larger file is not one the SDK wrote.
constexpr std::uintmax_t kMaxFileBytes = 4 * 1024 * 1024;

// The whole file, or nothing when it is missing, unreadable or too large.
std::optional<std::string> readSmallFile(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxFileBytes) return std::nullopt;
    return AtomicFile::read(path, error, kMaxFileBytes);
}

std::optional<nlohmann::json> parseObject(const std::string& bytes) {
    auto parsed = nlohmann::json::parse(bytes, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

std::optional<nlohmann::json> member(const nlohmann::json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end()) return std::nullopt;
    return *found;
}

std::optional<std::string> text(const nlohmann::json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

// The platform's unsigned 32-bit reading of a number: the integer value, wrapped.
std::uint32_t asUnsigned32(const std::optional<nlohmann::json>& value) {
    return static_cast<std::uint32_t>(DefaultsValueReading::integerValue(value));
}

}  // namespace

CRSSettings::CRSSettings(const CRSFileManager& fileManager, CRSSettingsBuildIdentity appIDModel)
    : fileManager_(fileManager), appIDModel_(std::move(appIDModel)) {}

void CRSSettings::reloadFromCacheWithBeaconAppID(const std::string& beaconAppID,
                                                 double currentTimestamp) {
    std::lock_guard guard(lock_);
    std::error_code error;
    if (!std::filesystem::exists(fileManager_.settingsFilePath(), error)) {
        CRSDebugLog("[CrashReporter:Settings] No settings were cached");
        return;
    }
    const auto bytes = readSmallFile(fileManager_.settingsFilePath());
    settingsDictionary_ = bytes ? parseObject(*bytes) : std::nullopt;
    if (!settingsDictionary_) {
        CRSErrorLog("Could not load settings file data with error: " +
                    std::string(bytes ? "not a JSON object" : "unreadable file"));
        deleteCachedSettingsLocked();
        return;
    }

    const auto cacheKey = loadCacheKey();
    if (!cacheKey) {
        CRSErrorLog("Could not load settings cache key");
        deleteCachedSettingsLocked();
        return;
    }
    if (text(*cacheKey, "beacon_app_id") != beaconAppID) {
        CRSDebugLog(
            "[CrashReporter:Settings] Invalidating settings cache because Beacon App ID changed");
        deleteCachedSettingsLocked();
        return;
    }

    // Summed as doubles: a huge duration must not wrap around to an early expiry.
    const double created = asUnsigned32(member(*cacheKey, "created_at"));
    if (currentTimestamp > created + static_cast<double>(cacheDurationSeconds())) {
        CRSDebugLog("[CrashReporter:Settings] Settings TTL expired");
        isCacheKeyExpired_ = true;
    }
    if (text(*cacheKey, "build_instance_id") != appIDModel_.buildInstanceID) {
        CRSDebugLog("[CrashReporter:Settings] Settings expired because build instance changed");
        isCacheKeyExpired_ = true;
    }
    if (text(*cacheKey, "app_version") != appIDModel_.synthesizedVersion) {
        CRSDebugLog("[CrashReporter:Settings] Settings expired because app version changed");
        isCacheKeyExpired_ = true;
    }
}

void CRSSettings::cacheSettingsWithBeaconAppID(const std::string& beaconAppID,
                                               double currentTimestamp) {
    const nlohmann::json cacheKey = {{"created_at", currentTimestamp},
                                     {"beacon_app_id", beaconAppID},
                                     {"build_instance_id", appIDModel_.buildInstanceID},
                                     {"app_version", appIDModel_.synthesizedVersion}};
    std::string serialized;
    try {
        serialized = cacheKey.dump();
    } catch (const nlohmann::json::exception& failure) {  // texts that are not UTF-8
        CRSErrorLog("Could not create settings cache key with error: " +
                    std::string(failure.what()));
        return;
    }

    std::lock_guard guard(lock_);
    const std::string path = fileManager_.settingsCacheKeyPath();
    fileManager_.createDirectoryAtPath(fileManager_.settingsDirectoryPath());
    if (fileManager_.fileExistsAtPath(path)) fileManager_.removeItemAtPath(path);
    fileManager_.createFileAtPath(path, serialized);
    isCacheKeyExpired_ = false;
    reloadFromCacheWithBeaconAppID(beaconAppID, currentTimestamp);
}

std::optional<nlohmann::json> CRSSettings::loadCacheKey() const {
    const auto bytes = readSmallFile(fileManager_.settingsCacheKeyPath());
    if (!bytes) return std::nullopt;
    // A bare value (a fragment) parses, but only an object can be a cache key.
    return parseObject(*bytes);
}

void CRSSettings::deleteCachedSettings() {
    std::lock_guard guard(lock_);
    deleteCachedSettingsLocked();
}

void CRSSettings::deleteCachedSettingsLocked() {
    // Done at once and under the lock, never later on another queue: a delayed removal could
    // take the files that the next download has just written.
    for (const std::string& path :
         {fileManager_.settingsFilePath(), fileManager_.settingsCacheKeyPath()}) {
        if (fileManager_.fileExistsAtPath(path)) fileManager_.removeItemAtPath(path);
    }
    isCacheKeyExpired_ = true;
    settingsDictionary_.reset();
}

bool CRSSettings::isCacheExpired() const {
    std::lock_guard guard(lock_);
    return !settingsDictionary_ || isCacheKeyExpired_;
}

std::optional<nlohmann::json> CRSSettings::settingsDictionary() const {
    std::lock_guard guard(lock_);
    return settingsDictionary_;
}

void CRSSettings::setSettingsDictionary(std::optional<nlohmann::json> settings) {
    std::lock_guard guard(lock_);
    settingsDictionary_ = std::move(settings);
}

bool CRSSettings::isCacheKeyExpired() const {
    std::lock_guard guard(lock_);
    return isCacheKeyExpired_;
}

void CRSSettings::setIsCacheKeyExpired(bool expired) {
    std::lock_guard guard(lock_);
    isCacheKeyExpired_ = expired;
}

std::optional<nlohmann::json> CRSSettings::value(const char* section, const char* key) const {
    std::lock_guard guard(lock_);
    if (!settingsDictionary_) return std::nullopt;
    if (section == nullptr) return member(*settingsDictionary_, key);
    const auto body = member(*settingsDictionary_, section);
    if (!body || !body->is_object()) return std::nullopt;
    return member(*body, key);
}

std::uint32_t CRSSettings::unsignedValue(const char* section, const char* key,
                                         std::uint32_t fallback) const {
    const auto found = value(section, key);
    return found ? asUnsigned32(found) : fallback;
}

double CRSSettings::doubleValue(const char* section, const char* key, double fallback) const {
    const auto found = value(section, key);
    return found ? DefaultsValueReading::doubleValue(found) : fallback;
}

bool CRSSettings::boolValue(const char* section, const char* key, bool fallback) const {
    const auto found = value(section, key);
    return found ? DefaultsValueReading::boolValue(found) : fallback;
}

std::optional<nlohmann::json> CRSSettings::appSettings() const {
    return value(nullptr, "app");
}
std::optional<nlohmann::json> CRSSettings::sessionSettings() const {
    return value(nullptr, "session");
}
std::optional<nlohmann::json> CRSSettings::featuresSettings() const {
    return value(nullptr, "features");
}
std::optional<nlohmann::json> CRSSettings::fabricSettings() const {
    return value(nullptr, "fabric");
}

std::uint32_t CRSSettings::cacheDurationSeconds() const {
    return unsignedValue(nullptr, "cache_duration", 3600);
}
bool CRSSettings::errorReportingEnabled() const {
    return boolValue("features", "collect_logged_exceptions", true);
}
bool CRSSettings::customExceptionsEnabled() const {
    return errorReportingEnabled();
}
bool CRSSettings::collectReportsEnabled() const {
    return boolValue("features", "collect_reports", true);
}
bool CRSSettings::metricKitCollectionEnabled() const {
    return boolValue("features", "collect_metric_kit", false);
}
std::uint32_t CRSSettings::logBufferSize() const {
    return unsignedValue("session", "log_buffer_size", 64000);
}
std::uint32_t CRSSettings::errorLogBufferSize() const {
    return logBufferSize();
}
std::uint32_t CRSSettings::maxCustomExceptions() const {
    return unsignedValue("session", "max_custom_exception_events", 8);
}
std::uint32_t CRSSettings::maxCustomKeys() const {
    return unsignedValue("session", "max_custom_key_value_pairs", 64);
}
// The on-demand values feed a division, a power and an integer conversion: a value those
// cannot take falls back to its default.
double CRSSettings::onDemandUploadRate() const {
    const double rate =
        doubleValue(nullptr, "on_demand_upload_rate_per_minute", kDefaultOnDemandUploadRate);
    return rate > 0 ? rate : kDefaultOnDemandUploadRate;
}
double CRSSettings::onDemandBackoffBase() const {
    const double base = doubleValue(nullptr, "on_demand_backoff_base", kDefaultOnDemandBackoffBase);
    return std::isfinite(base) && base >= 1 ? base : kDefaultOnDemandBackoffBase;
}
std::uint32_t CRSSettings::onDemandBackoffStepDuration() const {
    const std::uint32_t step = unsignedValue(nullptr, "on_demand_backoff_step_duration_seconds",
                                             kDefaultOnDemandBackoffStepDuration);
    return step > 0 ? step : kDefaultOnDemandBackoffStepDuration;
}
bool CRSSettings::onDemandThreadSuspensionEnabled() const {
    return boolValue(nullptr, "on_demand_thread_recording_suspension_enabled", true);
}

}  // namespace pex
