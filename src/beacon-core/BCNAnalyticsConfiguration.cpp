#include "beacon-core/BCNAnalyticsConfiguration.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {

BCNAnalyticsConfiguration& BCNAnalyticsConfiguration::sharedInstance() {
    static auto* configuration = new BCNAnalyticsConfiguration;
    return *configuration;
}

void BCNAnalyticsConfiguration::setAnalyticsCollectionEnabled(bool enabled, bool persistSetting) {
    if (persistSetting) UserDefaults::standard().set(kMeasurementEnabledStateKey, enabled ? 1 : 2);
    postNotificationName(kSetEnabledNotification, enabled);
}

void BCNAnalyticsConfiguration::postNotificationName(const std::string& name,
                                                     const nlohmann::json& value) {
    if (name.empty() || value.is_null()) return;
    NotificationCenter::defaultCenter().post(name, this, {{name, value}});
}

}  // namespace pex
