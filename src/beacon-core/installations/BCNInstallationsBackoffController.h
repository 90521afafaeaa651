#pragma once
// Holds back registration and token requests after failures: a run of recoverable errors waits
// 2^n seconds plus a random fraction (at most 30 minutes), an unrecoverable error 24 hours, a
// success nothing. Memory only: a new process starts with no backoff. Safe from any thread.
#include <functional>
#include <mutex>
#include <optional>

#include "beacon-core/installations/BCNInstallationsBackoffControllerProtocol.h"

namespace pex {

class BCNInstallationsBackoffController : public BCNInstallationsBackoffControllerProtocol {
  public:
    using DateProvider = std::function<Clock::TimePoint()>;

    // Dates from the process's current clock, read at each call.
    BCNInstallationsBackoffController();
    explicit BCNInstallationsBackoffController(DateProvider currentDateProvider);

    void registerEvent(BCNInstallationsBackoffEvent event) override;
    bool isNextRequestAllowed() override;

    std::optional<BCNInstallationsBackoffEventData> lastEventData() const;

  private:
    const DateProvider currentDateProvider_;
    mutable std::mutex mutex_;
    std::optional<BCNInstallationsBackoffEventData> lastEventData_;
};

}  // namespace pex
