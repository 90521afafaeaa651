// The sessions settings arrive from the network and are kept in the settings store between
// launches. Whatever the server sends, a body that is a JSON object is stored and read back as
// an object whose "app_quality" values read as numbers or Booleans or as nothing; the cache key
// kept beside it reads back exactly as it was written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/foundation/UserDefaults.h"
#include "sessions/CacheKey.h"
#include "sessions/LocalOverrideSettings.h"
#include "sessions/SettingsCache.h"

namespace {

// The store's files go to a folder of this process, never into the user's settings; the seed
// replay in the ordinary test run comes through here too.
pex::UTLUserDefaults& privateStore() {
    static pex::UTLUserDefaults* store = [] {
        const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                           ("pexmora-fuzz-sessions-" + std::to_string(getpid()));
        std::filesystem::create_directories(root);
        pex::UserDefaults::setRootDirectory(root);
        return new pex::UTLUserDefaults(std::string("fuzz-sessions-settings"));
    }();
    return *store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    std::string problem;
    if (const std::optional<CacheKey> key = CacheKey::decode(bytes, &problem)) {
        std::string again;
        const std::optional<CacheKey> reread = CacheKey::decode(key->encoded(), &again);
        // NaN never equals itself; any other key must survive its own encoding.
        if (!reread || (key->createdAt == key->createdAt && !(*reread == *key))) __builtin_trap();
    }

    const nlohmann::json body = nlohmann::json::parse(bytes, nullptr, false);
    if (!body.is_object()) return 0;
    SettingsCache cache(privateStore());
    cache.setCacheContent(body);
    const nlohmann::json stored = cache.cacheContent();
    if (!stored.is_object()) __builtin_trap();
    const auto quality = stored.find("app_quality");
    if (quality != stored.end() && quality->is_object()) {
        (void)settingsBoolean(*quality, "sessions_enabled");
        (void)settingsNumber(*quality, "session_timeout_seconds");
        (void)settingsNumber(*quality, "sampling_rate");
    }
    (void)cache.cacheDuration();
    cache.removeCache();
    return 0;
}
