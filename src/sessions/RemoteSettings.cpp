#include "sessions/RemoteSettings.h"

#include "sessions/LocalOverrideSettings.h"
#include "sessions/SessionsLogger.h"

namespace pex {

RemoteSettings::RemoteSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                               std::shared_ptr<SettingsDownloadClient> downloader,
                               std::unique_ptr<SettingsCacheClient> cache)
    : appInfo_(std::move(appInfo)),
      downloader_(std::move(downloader)),
      cache_(std::make_shared<UnfairLock<std::unique_ptr<SettingsCacheClient>>>(std::move(cache))) {
}

nlohmann::json RemoteSettings::appQuality() const {
    const nlohmann::json content =
        cache_->withLock([](auto& cache) { return cache->cacheContent(); });
    const auto found = content.find("app_quality");
    if (found == content.end() || !found->is_object()) return nlohmann::json::object();
    return *found;
}

std::optional<bool> RemoteSettings::sessionsEnabled() const {
    return settingsBoolean(appQuality(), "sessions_enabled");
}

std::optional<double> RemoteSettings::sessionTimeout() const {
    return settingsNumber(appQuality(), "session_timeout_seconds");
}

std::optional<double> RemoteSettings::samplingRate() const {
    return settingsNumber(appQuality(), "sampling_rate");
}

bool RemoteSettings::isCacheExpired(SettingsCacheClient& cache, double now) const {
    if (cache.cacheContent().empty()) {
        cache.removeCache();
        return true;
    }
    const std::optional<CacheKey> key = cache.cacheKey();
    if (!key) {
        sessionsLog(BCNLoggerLevelError, "[Settings] Could not load settings cache key");
        cache.removeCache();
        return true;
    }
    if (key->beaconAppID != appInfo_->appID()) {
        sessionsLog(BCNLoggerLevelDebug, "[Settings] Cache expired because Beacon App ID changed");
        cache.removeCache();
        return true;
    }
    if (now - key->createdAt > cache.cacheDuration()) {
        sessionsLog(BCNLoggerLevelDebug, "[Settings] Cache TTL expired");
        return true;
    }
    if (key->appVersion != appInfo_->synthesizedVersion()) {
        sessionsLog(BCNLoggerLevelDebug, "[Settings] Cache expired because app version changed");
        return true;
    }
    return false;
}

bool RemoteSettings::isSettingsStale(double now) {
    return cache_->withLock([&](auto& cache) { return isCacheExpired(*cache, now); });
}

void RemoteSettings::updateSettings(double now) {
    if (!isSettingsStale(now)) {
        sessionsLog(BCNLoggerLevelDebug, "[Settings] Cache is not expired, no fetch will be made.");
        return;
    }
    const CacheKey key{now, appInfo_->appID(), appInfo_->synthesizedVersion()};
    downloader_->fetch([cache = cache_, key](SettingsDownloadClient::Result result) {
        if (const auto* error = std::get_if<SettingsDownloaderError>(&result)) {
            sessionsLog(
                BCNLoggerLevelError,
                "[Settings] Fetching newest settings failed with error: " + error->description());
            return;
        }
        cache->withLock([&](auto& client) {
            client->setCacheContent(std::get<nlohmann::json>(result));
            client->setCacheKey(key);
        });
    });
}

}  // namespace pex
