#include "beacon-core/BCNOptions.h"

#include <cstdio>
#include <fstream>
#include <mutex>

#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/BCNBundleUtil.h"
#include "beacon-core/BCNLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DefaultsValueReading.h"
#include "platform/foundation/Exception.h"

namespace pex {

namespace {

constexpr std::size_t kMaxOptionsFileBytes = 4 * 1024 * 1024;

struct Defaults {
    std::mutex mutex;
    bool dictionaryRead = false;
    std::optional<PropertyList::Dictionary> dictionary;
    bool optionsMade = false;
    std::optional<BCNOptions> options;
    std::function<std::optional<bool>()> dataCollectionQuery;
};

Defaults& defaults() {
    static auto* state = new Defaults;
    return *state;
}

// The file's top-level dictionary; none when it is missing, too large, not a property list or
// not a dictionary.
std::optional<PropertyList::Dictionary> dictionaryFromFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes;
    bytes.resize(kMaxOptionsFileBytes + 1);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    auto plist = PropertyList::parse(bytes, nullptr, kMaxOptionsFileBytes);
    if (!plist) return std::nullopt;
    if (const auto* dictionary = plist->get<PropertyList::Dictionary>()) return *dictionary;
    return std::nullopt;
}

bool holdsNumber(const PropertyList* value) {
    return value && (value->is<std::int64_t>() || value->is<double>() || value->is<bool>());
}

bool boolOf(const PropertyList* value) {
    return value && DefaultsValueReading::boolValue(value->toJson());
}

}  // namespace

std::optional<std::filesystem::path> BCNOptions::plistFilePathWithName(const std::string& name) {
    return BCNBundleUtil::optionsDictionaryPathWithResourceName(name, kServiceInfoFileType,
                                                                BCNBundleUtil::relevantBundles());
}

std::optional<PropertyList::Dictionary> BCNOptions::defaultOptionsDictionary() {
    Defaults& state = defaults();
    std::lock_guard lock(state.mutex);
    if (state.dictionaryRead) return state.dictionary;
    state.dictionaryRead = true;
    const auto path = plistFilePathWithName(kServiceInfoFileName);
    if (!path) {
        BCNLogError(kBCNLoggerCore, "I-COR000012", "Could not locate configuration file: '%@.%@'.",
                    kServiceInfoFileName, kServiceInfoFileType);
        return std::nullopt;
    }
    state.dictionary = dictionaryFromFile(*path);
    if (!state.dictionary) {
        BCNLogError(kBCNLoggerCore, "I-COR000011",
                    "The configuration file is not a dictionary: '%@.%@'.", kServiceInfoFileName,
                    kServiceInfoFileType);
    }
    return state.dictionary;
}

std::optional<BCNOptions> BCNOptions::defaultOptions() {
    const auto dictionary = defaultOptionsDictionary();
    Defaults& state = defaults();
    std::lock_guard lock(state.mutex);
    if (!state.optionsMade) {
        state.optionsMade = true;
        if (dictionary) state.options.emplace(*dictionary);
    }
    return state.options;
}

void BCNOptions::resetDefaultOptions() {
    Defaults& state = defaults();
    std::lock_guard lock(state.mutex);
    state.dictionaryRead = false;
    state.dictionary.reset();
    state.optionsMade = false;
    state.options.reset();
}

std::optional<BCNOptions> BCNOptions::fromContentsOfFile(
    const std::optional<std::filesystem::path>& path) {
    if (!path) {
        BCNLogError(kBCNLoggerCore, "I-COR000013", "The plist file path is nil.");
        return std::nullopt;
    }
    auto dictionary = dictionaryFromFile(*path);
    if (!dictionary) {
        BCNLogError(kBCNLoggerCore, "I-COR000014",
                    "The configuration file at %@ does not exist or is not a well-formed plist "
                    "file.",
                    path->string());
        return std::nullopt;
    }
    BCNOptions options(std::move(*dictionary));
    options.usingOptionsFromDefaultPlist_ = false;
    return options;
}

BCNOptions::BCNOptions(const std::string& beaconAppID, const std::string& pushSenderID)
    : optionsDictionary_{{kBeaconAppID, PropertyList(beaconAppID)},
                         {kPushSenderID, PropertyList(pushSenderID)},
                         {kBundleID, PropertyList(Bundle::main().bundleIdentifier())}},
      usingOptionsFromDefaultPlist_(false) {}

BCNOptions::BCNOptions(PropertyList::Dictionary optionsDictionary)
    : optionsDictionary_(std::move(optionsDictionary)) {}

std::optional<std::string> BCNOptions::text(const char* key) const {
    const auto found = optionsDictionary_.find(key);
    if (found == optionsDictionary_.end()) return std::nullopt;
    if (const auto* value = found->second.get<std::string>()) return *value;
    return std::nullopt;
}

void BCNOptions::checkEditingLocked() const {
    if (editingLocked_) {
        throw Exception("com.beacon.core",
                        "Attempted to modify options after it's set on BCNApp. Please modify all "
                        "properties before initializing BCNApp.");
    }
}

void BCNOptions::setText(const char* key, std::optional<std::string> value) {
    checkEditingLocked();
    if (value)
        optionsDictionary_[key] = PropertyList(std::move(*value));
    else
        optionsDictionary_.erase(key);
}

void BCNOptions::setAppGroupID(std::optional<std::string> value) {
    checkEditingLocked();
    appGroupID_ = std::move(value);
}

std::string BCNOptions::libraryVersionID() {
    static const std::string id = [] {
        const std::string version = BCNBeaconVersion();
        int parts[3] = {0, 0, 0};
        std::sscanf(version.c_str(), "%d.%d.%d", &parts[0], &parts[1], &parts[2]);
        char digits[32];
        std::snprintf(digits, sizeof digits, "%02d%02d%02d000", parts[0], parts[1], parts[2]);
        return std::string(digits);
    }();
    return id;
}

const PropertyList::Dictionary& BCNOptions::analyticsOptionsDictionary() const {
    if (!analyticsOptionsDictionary_) {
        PropertyList::Dictionary analytics;
        const Bundle main = Bundle::main();
        for (const char* key : {kIsMeasurementEnabled, kAnalyticsCollectionEnabled,
                                kAnalyticsCollectionDeactivated}) {
            if (auto info = main.value(key)) {
                if (auto value = PropertyList::fromJson(*info)) {
                    analytics[key] = *value;
                    continue;
                }
            }
            if (const auto found = optionsDictionary_.find(key); found != optionsDictionary_.end())
                analytics[key] = found->second;
        }
        analyticsOptionsDictionary_ = std::move(analytics);
    }
    return *analyticsOptionsDictionary_;
}

bool BCNOptions::isAnalyticsCollectionDeactivated() const {
    const auto& analytics = analyticsOptionsDictionary();
    const auto found = analytics.find(kAnalyticsCollectionDeactivated);
    return found != analytics.end() && boolOf(&found->second);
}

bool BCNOptions::isMeasurementEnabled() const {
    if (isAnalyticsCollectionDeactivated()) return false;
    const auto& analytics = analyticsOptionsDictionary();
    if (const auto found = analytics.find(kIsMeasurementEnabled); found != analytics.end())
        return boolOf(&found->second);
    std::function<std::optional<bool>()> query;
    {
        Defaults& state = defaults();
        std::lock_guard lock(state.mutex);
        query = state.dataCollectionQuery;
    }
    if (query) {
        if (auto enabled = query()) return *enabled;
    }
    return false;
}

bool BCNOptions::isAnalyticsCollectionEnabled() const {
    if (isAnalyticsCollectionDeactivated()) return false;
    const auto& analytics = analyticsOptionsDictionary();
    if (const auto found = analytics.find(kAnalyticsCollectionEnabled); found != analytics.end())
        return boolOf(&found->second);
    return isMeasurementEnabled();
}

bool BCNOptions::isAnalyticsCollectionExplicitlySet() const {
    if (isAnalyticsCollectionDeactivated()) return true;
    const auto& analytics = analyticsOptionsDictionary();
    const auto value = [&](const char* key) -> const PropertyList* {
        const auto found = analytics.find(key);
        return found == analytics.end() ? nullptr : &found->second;
    };
    return holdsNumber(value(kAnalyticsCollectionEnabled)) ||
           holdsNumber(value(kIsMeasurementEnabled));
}

void BCNOptions::setDefaultAppDataCollectionQuery(std::function<std::optional<bool>()> query) {
    Defaults& state = defaults();
    std::lock_guard lock(state.mutex);
    state.dataCollectionQuery = std::move(query);
}

bool BCNOptions::operator==(const BCNOptions& other) const {
    return optionsDictionary_ == other.optionsDictionary_ && appGroupID_ == other.appGroupID_ &&
           analyticsOptionsDictionary() == other.analyticsOptionsDictionary();
}

std::size_t BCNOptions::hash() const {
    const std::size_t dictionaryHash =
        std::hash<std::string>{}(PropertyList(optionsDictionary_).toJson().dump());
    const std::size_t groupHash = appGroupID_ ? std::hash<std::string>{}(*appGroupID_) : 0;
    return dictionaryHash ^ groupHash;
}

}  // namespace pex
