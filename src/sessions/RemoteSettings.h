#pragma once
// The downloaded settings: their "app_quality" values, answered from the cache, and the
// download made when the cache has expired. The cache is touched only under its lock.
#include <memory>

#include "beacon-core/UnfairLock.h"
#include "sessions/ApplicationInfo.h"
#include "sessions/SettingsCache.h"
#include "sessions/SettingsDownloader.h"
#include "sessions/SettingsProvider.h"

namespace pex {

class RemoteSettings : public SettingsProvider {
  public:
    RemoteSettings(std::shared_ptr<const ApplicationInfoProtocol> appInfo,
                   std::shared_ptr<SettingsDownloadClient> downloader,
                   std::unique_ptr<SettingsCacheClient> cache = std::make_unique<SettingsCache>());

    std::optional<bool> sessionsEnabled() const override;
    std::optional<double> sessionTimeout() const override;
    std::optional<double> samplingRate() const override;
    // Downloads when the cache has expired, and stores what arrives with a key for `now`.
    void updateSettings(double now) override;
    bool isSettingsStale(double now) override;

  private:
    nlohmann::json appQuality() const;
    bool isCacheExpired(SettingsCacheClient& cache, double now) const;

    const std::shared_ptr<const ApplicationInfoProtocol> appInfo_;
    const std::shared_ptr<SettingsDownloadClient> downloader_;
    // Shared with downloads in flight, which may end after this object is gone.
    std::shared_ptr<UnfairLock<std::unique_ptr<SettingsCacheClient>>> cache_;
};

}  // namespace pex
