#pragma once
// One run of like outcomes of installation requests: its type, when the latest was registered,
// how many in a row, and how long to hold back the next request.
#include <chrono>
#include <cstdint>

#include "platform/foundation/Clock.h"

namespace pex {

enum class BCNInstallationsBackoffEvent : std::int64_t {
    Success = 0,
    RecoverableError = 1,
    UnrecoverableError = 2,
};

class BCNInstallationsBackoffEventData {
  public:
    static constexpr double kMaxRecoverableErrorBackoff = 30 * 60;  // seconds
    static constexpr double kUnrecoverableErrorBackoff = 24 * 60 * 60;

    BCNInstallationsBackoffEventData(BCNInstallationsBackoffEvent eventType,
                                     Clock::TimePoint lastEventDate, std::int64_t eventCount);

    BCNInstallationsBackoffEvent eventType() const { return eventType_; }
    Clock::TimePoint lastEventDate() const { return lastEventDate_; }
    std::int64_t eventCount() const { return eventCount_; }
    // Seconds.
    double backoffTimeInterval() const { return backoffTimeInterval_; }

    static double backoffTimeIntervalWithEvent(BCNInstallationsBackoffEvent event,
                                               std::int64_t eventCount);
    // min(2^attempt + a random fraction of a second, 30 minutes).
    static double recoverableErrorBackoffTimeForAttemptNumber(std::int64_t attempt);
    // 0.000 to 0.999 seconds, uniformly.
    static double randomMilliseconds();

  private:
    BCNInstallationsBackoffEvent eventType_;
    Clock::TimePoint lastEventDate_;
    std::int64_t eventCount_;
    double backoffTimeInterval_;
};

}  // namespace pex
