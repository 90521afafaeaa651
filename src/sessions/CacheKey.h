#pragma once
// What a cached settings download belongs to: when it was stored, for which app ID and for
// which application version. Kept as JSON with the keys "createdAt" (seconds since
// 2001-01-01 UTC), "beaconAppID" and "appVersion".
#include <optional>
#include <string>

namespace pex {

struct CacheKey {
    double createdAt = 0;
    std::string beaconAppID;
    std::string appVersion;

    std::string encoded() const;
    // None, with the reason in `problem`, for anything that is not such an object.
    static std::optional<CacheKey> decode(const std::string& json, std::string* problem);

    bool operator==(const CacheKey&) const = default;
};

}  // namespace pex
