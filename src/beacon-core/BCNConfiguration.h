#pragma once
// The SDK's global settings: the logger level and the analytics collection switch's holder.
#include <mutex>

#include "beacon-core/BCNAnalyticsConfiguration.h"
#include "beacon-core/BCNLogger.h"

namespace pex {

class BCNConfiguration {
  public:
    static BCNConfiguration& shared();

    // A level outside 3 to 7 is a programming error and raises "Invalid logger level, <n>".
    void setLoggerLevel(BCNLoggerLevel level);
    BCNLoggerLevel loggerLevel();

    // What an analytics component would be started with; the shared
    // BCNAnalyticsConfiguration until another is set.
    BCNAnalyticsConfiguration& analyticsConfiguration();
    // `configuration` must outlive its use here (the shared instances live for the process).
    void setAnalyticsConfiguration(BCNAnalyticsConfiguration& configuration);

  private:
    std::mutex mutex_;
    BCNAnalyticsConfiguration* analyticsConfiguration_ =
        &BCNAnalyticsConfiguration::sharedInstance();
};

}  // namespace pex
