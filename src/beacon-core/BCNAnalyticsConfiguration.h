#pragma once
// The analytics collection switch, kept in the standard settings as 1 (on) or 2 (off).
#include <string>

namespace pex {

class BCNAnalyticsConfiguration {
  public:
    static constexpr const char* kMeasurementEnabledStateKey =
        "/beacon/measurement/measurement_enabled_state";
    static constexpr const char* kSetEnabledNotification =
        "BCNAnalyticsConfigurationSetEnabledNotification";

    static BCNAnalyticsConfiguration& sharedInstance();
    void setAnalyticsCollectionEnabled(bool enabled, bool persistSetting);
    void postNotificationName(const std::string& name, bool value);
};

}  // namespace pex
