#include "beacon-core/installations/BCNInstallationsBackoffEventData.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <random>

namespace pex {

BCNInstallationsBackoffEventData::BCNInstallationsBackoffEventData(
    BCNInstallationsBackoffEvent eventType, Clock::TimePoint lastEventDate, std::int64_t eventCount)
    : eventType_(eventType),
      lastEventDate_(lastEventDate),
      eventCount_(eventCount),
      backoffTimeInterval_(backoffTimeIntervalWithEvent(eventType, eventCount)) {}

double BCNInstallationsBackoffEventData::backoffTimeIntervalWithEvent(
    BCNInstallationsBackoffEvent event, std::int64_t eventCount) {
    switch (event) {
        case BCNInstallationsBackoffEvent::Success:
            return 0;
        case BCNInstallationsBackoffEvent::RecoverableError:
            return recoverableErrorBackoffTimeForAttemptNumber(eventCount);
        case BCNInstallationsBackoffEvent::UnrecoverableError:
            return kUnrecoverableErrorBackoff;
    }
    return 0;
}

double BCNInstallationsBackoffEventData::recoverableErrorBackoffTimeForAttemptNumber(
    std::int64_t attempt) {
    const double base = std::pow(2.0, static_cast<double>(attempt));
    return std::min(base + randomMilliseconds(), kMaxRecoverableErrorBackoff);
}

double BCNInstallationsBackoffEventData::randomMilliseconds() {
    static std::mutex mutex;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard lock(mutex);
    const std::uint32_t value = static_cast<std::uint32_t>(generator());
    return static_cast<double>(value % 1000) * 0.001;
}

}  // namespace pex
