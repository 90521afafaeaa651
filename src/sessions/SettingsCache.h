#pragma once
// The downloaded sessions settings and their cache key, kept in the standard user defaults
// under "beacon-sessions-settings" (a dictionary) and "beacon-sessions-cache-key" (the key as
// JSON data).
#include <optional>

#include <nlohmann/json.hpp>

#include "beacon-core/UTLUserDefaults.h"
#include "sessions/CacheKey.h"

namespace pex {

class SettingsCacheClient {
  public:
    virtual ~SettingsCacheClient() = default;
    // An empty object when nothing is cached.
    virtual nlohmann::json cacheContent() const = 0;
    virtual void setCacheContent(const nlohmann::json& content) = 0;
    virtual std::optional<CacheKey> cacheKey() const = 0;
    virtual void setCacheKey(const CacheKey& key) = 0;
    virtual void removeCache() = 0;
    // The content's "cache_duration" when it is a number, else 3600 seconds.
    virtual double cacheDuration() const = 0;
};

class SettingsCache : public SettingsCacheClient {
  public:
    static constexpr const char* kContentKey = "beacon-sessions-settings";
    static constexpr const char* kCacheKeyKey = "beacon-sessions-cache-key";
    static constexpr double kDefaultCacheDuration = 3600;

    // `cache` outlives this object.
    explicit SettingsCache(UTLUserDefaults& cache = UTLUserDefaults::standardUserDefaults())
        : cache_(cache) {}

    nlohmann::json cacheContent() const override;
    void setCacheContent(const nlohmann::json& content) override;
    std::optional<CacheKey> cacheKey() const override;
    void setCacheKey(const CacheKey& key) override;
    void removeCache() override;
    double cacheDuration() const override;

  private:
    UTLUserDefaults& cache_;
};

}  // namespace pex
