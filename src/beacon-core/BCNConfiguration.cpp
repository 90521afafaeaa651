#include "beacon-core/BCNConfiguration.h"

#include "platform/foundation/Exception.h"

namespace pex {

BCNConfiguration& BCNConfiguration::shared() {
    static auto* configuration = new BCNConfiguration;
    return *configuration;
}

void BCNConfiguration::setLoggerLevel(BCNLoggerLevel level) {
    std::lock_guard lock(mutex_);
    if (level < BCNLoggerLevelError || level > BCNLoggerLevelDebug)
        raiseAssertionFailure("Invalid logger level, " + std::to_string(level), __func__, __FILE__,
                              __LINE__);
    BCNLogSetLevel(level);
}

BCNLoggerLevel BCNConfiguration::loggerLevel() {
    std::lock_guard lock(mutex_);
    return BCNLogGetLevel();
}

BCNAnalyticsConfiguration& BCNConfiguration::analyticsConfiguration() {
    std::lock_guard lock(mutex_);
    return *analyticsConfiguration_;
}

void BCNConfiguration::setAnalyticsConfiguration(BCNAnalyticsConfiguration& configuration) {
    std::lock_guard lock(mutex_);
    analyticsConfiguration_ = &configuration;
}

}  // namespace pex
