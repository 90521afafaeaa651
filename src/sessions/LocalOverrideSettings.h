#pragma once
// The application's own overrides, read from the main bundle's information dictionary on
// every question: "BeaconSessionsEnabled", "BeaconSessionsTimeout" and
// "BeaconSessionsSampingRate" (spelled so).
#include <functional>

#include <nlohmann/json.hpp>

#include "sessions/SettingsProvider.h"

namespace pex {

class LocalOverrideSettings : public SettingsProvider {
  public:
    static constexpr const char* kEnabledKey = "BeaconSessionsEnabled";
    static constexpr const char* kTimeoutKey = "BeaconSessionsTimeout";
    static constexpr const char* kSamplingRateKey = "BeaconSessionsSampingRate";

    // The main bundle's dictionary unless a source is given.
    explicit LocalOverrideSettings(std::function<nlohmann::json()> infoDictionary = nullptr);

    std::optional<bool> sessionsEnabled() const override;
    std::optional<double> sessionTimeout() const override;
    std::optional<double> samplingRate() const override;
    void updateSettings(double) override {}
    bool isSettingsStale(double) override { return false; }

  private:
    std::function<nlohmann::json()> infoDictionary_;
};

// A JSON number that is not a Boolean, as a double.
std::optional<double> settingsNumber(const nlohmann::json& dictionary, const char* key);
std::optional<bool> settingsBoolean(const nlohmann::json& dictionary, const char* key);

}  // namespace pex
