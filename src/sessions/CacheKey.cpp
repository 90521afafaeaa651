#include "sessions/CacheKey.h"

#include <nlohmann/json.hpp>

namespace pex {

std::string CacheKey::encoded() const {
    return nlohmann::json{
        {"createdAt", createdAt}, {"beaconAppID", beaconAppID}, {"appVersion", appVersion}}
        .dump();
}

std::optional<CacheKey> CacheKey::decode(const std::string& json, std::string* problem) {
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    const auto fail = [problem](const std::string& reason) -> std::optional<CacheKey> {
        if (problem) *problem = reason;
        return std::nullopt;
    };
    if (!parsed.is_object()) return fail("not a JSON object");
    const auto created = parsed.find("createdAt");
    const auto appID = parsed.find("beaconAppID");
    const auto version = parsed.find("appVersion");
    if (created == parsed.end() || !created->is_number() || created->is_boolean())
        return fail("\"createdAt\" is not a number");
    if (appID == parsed.end() || !appID->is_string()) return fail("\"beaconAppID\" is not a text");
    if (version == parsed.end() || !version->is_string())
        return fail("\"appVersion\" is not a text");
    return CacheKey{created->get<double>(), appID->get<std::string>(), version->get<std::string>()};
}

}  // namespace pex
