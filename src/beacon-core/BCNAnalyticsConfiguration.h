#pragma once
// The analytics collection switch, kept in the standard settings as 1 (on) or 2 (off). Each
// change is announced as "BCNAnalyticsConfigurationSetEnabledNotification", sent by the
// configuration, its user info {name: the new value}.
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

class BCNAnalyticsConfiguration {
  public:
    static constexpr const char* kMeasurementEnabledStateKey =
        "/beacon/measurement/measurement_enabled_state";
    static constexpr const char* kSetEnabledNotification =
        "BCNAnalyticsConfigurationSetEnabledNotification";

    static BCNAnalyticsConfiguration& sharedInstance();
    // Stores the switch only when `persistSetting`; announces it either way.
    void setAnalyticsCollectionEnabled(bool enabled, bool persistSetting);
    // Posts nothing for an empty name or a null value.
    void postNotificationName(const std::string& name, const nlohmann::json& value);
};

}  // namespace pex
