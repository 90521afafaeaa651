#include "sessions/LocalOverrideSettings.h"

#include "platform/foundation/Bundle.h"

namespace pex {

std::optional<double> settingsNumber(const nlohmann::json& dictionary, const char* key) {
    if (!dictionary.is_object()) return std::nullopt;
    const auto found = dictionary.find(key);
    if (found == dictionary.end() || !found->is_number()) return std::nullopt;
    return found->get<double>();
}

std::optional<bool> settingsBoolean(const nlohmann::json& dictionary, const char* key) {
    if (!dictionary.is_object()) return std::nullopt;
    const auto found = dictionary.find(key);
    if (found == dictionary.end() || !found->is_boolean()) return std::nullopt;
    return found->get<bool>();
}

LocalOverrideSettings::LocalOverrideSettings(std::function<nlohmann::json()> infoDictionary)
    : infoDictionary_(std::move(infoDictionary)) {
    if (!infoDictionary_) infoDictionary_ = [] { return Bundle::main().info(); };
}

std::optional<bool> LocalOverrideSettings::sessionsEnabled() const {
    return settingsBoolean(infoDictionary_(), kEnabledKey);
}

std::optional<double> LocalOverrideSettings::sessionTimeout() const {
    return settingsNumber(infoDictionary_(), kTimeoutKey);
}

std::optional<double> LocalOverrideSettings::samplingRate() const {
    return settingsNumber(infoDictionary_(), kSamplingRateKey);
}

}  // namespace pex
