#pragma once
// The crash SDK's server-provided settings: the cached "settings.json", checked against
// "cache-key.json" (when and for which app, build and version it was fetched), with a fixed
// default for every key the server left out. An expired cache keeps its values in force until
// a new download replaces them; a changed app id or an unreadable file discards them.
//
// Times are seconds since 2001-01-01 00:00:00 UTC.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

class CRSFileManager;

// The build the settings are cached for: the application identifier model's build instance
// id and synthesized version.
struct CRSSettingsBuildIdentity {
    std::string buildInstanceID;
    std::string synthesizedVersion;
};

class CRSSettings {
  public:
    static constexpr double kDefaultOnDemandUploadRate = 10;
    static constexpr double kDefaultOnDemandBackoffBase = 1.5;
    static constexpr std::uint32_t kDefaultOnDemandBackoffStepDuration = 6;

    // No file is touched. `fileManager` outlives the settings.
    CRSSettings(const CRSFileManager& fileManager, CRSSettingsBuildIdentity appIDModel);

    void reloadFromCacheWithBeaconAppID(const std::string& beaconAppID, double currentTimestamp);
    // Writes "cache-key.json" for settings just saved, then reloads them.
    void cacheSettingsWithBeaconAppID(const std::string& beaconAppID, double currentTimestamp);
    std::optional<nlohmann::json> loadCacheKey() const;
    // Removes both files and forgets the settings before it returns.
    void deleteCachedSettings();

    bool isCacheExpired() const;
    std::optional<nlohmann::json> settingsDictionary() const;
    void setSettingsDictionary(std::optional<nlohmann::json> settings);
    bool isCacheKeyExpired() const;
    void setIsCacheKeyExpired(bool expired);

    std::optional<nlohmann::json> appSettings() const;
    std::optional<nlohmann::json> sessionSettings() const;
    std::optional<nlohmann::json> featuresSettings() const;
    std::optional<nlohmann::json> fabricSettings() const;

    std::uint32_t cacheDurationSeconds() const;
    bool errorReportingEnabled() const;
    bool customExceptionsEnabled() const;
    bool collectReportsEnabled() const;
    bool metricKitCollectionEnabled() const;
    std::uint32_t logBufferSize() const;
    std::uint32_t errorLogBufferSize() const;
    std::uint32_t maxCustomExceptions() const;
    std::uint32_t maxCustomKeys() const;
    double onDemandUploadRate() const;
    double onDemandBackoffBase() const;
    std::uint32_t onDemandBackoffStepDuration() const;
    bool onDemandThreadSuspensionEnabled() const;

  private:
    // The value under `section` → `key` (or top-level `key` when `section` is null).
    std::optional<nlohmann::json> value(const char* section, const char* key) const;
    std::uint32_t unsignedValue(const char* section, const char* key, std::uint32_t fallback) const;
    double doubleValue(const char* section, const char* key, double fallback) const;
    bool boolValue(const char* section, const char* key, bool fallback) const;
    void deleteCachedSettingsLocked();

    const CRSFileManager& fileManager_;
    const CRSSettingsBuildIdentity appIDModel_;
    // Guards the two fields and every change of the two files, so a removal can never take a
    // file that a reload or a cache write has just put in place.
    mutable std::recursive_mutex lock_;
    std::optional<nlohmann::json> settingsDictionary_;
    bool isCacheKeyExpired_ = false;
};

}  // namespace pex
