#include "sessions/SettingsCache.h"

#include <sstream>

#include "sessions/SessionsLogger.h"

namespace pex {

namespace {

// Property lists have no null: null members and elements are left out.
nlohmann::json withoutNulls(const nlohmann::json& value) {
    if (value.is_object()) {
        nlohmann::json kept = nlohmann::json::object();
        for (const auto& [key, member] : value.items())
            if (!member.is_null()) kept[key] = withoutNulls(member);
        return kept;
    }
    if (value.is_array()) {
        nlohmann::json kept = nlohmann::json::array();
        for (const auto& element : value)
            if (!element.is_null()) kept.push_back(withoutNulls(element));
        return kept;
    }
    return value;
}

}  // namespace

nlohmann::json SettingsCache::cacheContent() const {
    const std::optional<PropertyList> stored = cache_.objectForKey(kContentKey);
    if (!stored || !stored->is<PropertyList::Dictionary>()) return nlohmann::json::object();
    return stored->toJson();
}

void SettingsCache::setCacheContent(const nlohmann::json& content) {
    std::optional<PropertyList> value = PropertyList::fromJson(withoutNulls(content));
    if (!value) return;
    cache_.setObject(*value, kContentKey);
}

std::optional<CacheKey> SettingsCache::cacheKey() const {
    const std::optional<PropertyList> stored = cache_.objectForKey(kCacheKeyKey);
    if (!stored) return std::nullopt;
    const auto* data = stored->get<PropertyList::Data>();
    std::string problem = "the stored value is not data";
    std::optional<CacheKey> key;
    if (data) key = CacheKey::decode(std::string(data->begin(), data->end()), &problem);
    if (!key)
        sessionsLog(BCNLoggerLevelError,
                    "[Settings] Decoding CacheKey failed with error: " + problem);
    return key;
}

void SettingsCache::setCacheKey(const CacheKey& key) {
    const std::string json = key.encoded();
    cache_.setObject(PropertyList(PropertyList::Data(json.begin(), json.end())), kCacheKeyKey);
}

void SettingsCache::removeCache() {
    cache_.removeObjectForKey(kContentKey);
    cache_.removeObjectForKey(kCacheKeyKey);
}

double SettingsCache::cacheDuration() const {
    const nlohmann::json content = cacheContent();
    const auto found = content.find("cache_duration");
    if (found == content.end() || !found->is_number()) return kDefaultCacheDuration;
    std::ostringstream text;
    text << found->get<double>();
    sessionsLog(BCNLoggerLevelDebug, "[Settings] Cache duration: " + text.str());
    return found->get<double>();
}

}  // namespace pex
