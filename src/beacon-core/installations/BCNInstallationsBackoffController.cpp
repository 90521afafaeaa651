#include "beacon-core/installations/BCNInstallationsBackoffController.h"

#include <chrono>

namespace pex {

BCNInstallationsBackoffController::BCNInstallationsBackoffController()
    : BCNInstallationsBackoffController([] { return Clock::current()->now(); }) {}

BCNInstallationsBackoffController::BCNInstallationsBackoffController(
    DateProvider currentDateProvider)
    : currentDateProvider_(std::move(currentDateProvider)) {}

void BCNInstallationsBackoffController::registerEvent(BCNInstallationsBackoffEvent event) {
    std::lock_guard lock(mutex_);
    const std::int64_t count = lastEventData_ && lastEventData_->eventType() == event
                                   ? lastEventData_->eventCount() + 1
                                   : 1;
    lastEventData_.emplace(event, currentDateProvider_(), count);
}

bool BCNInstallationsBackoffController::isNextRequestAllowed() {
    std::lock_guard lock(mutex_);
    if (!lastEventData_) return true;
    const std::chrono::duration<double> sinceLast =
        currentDateProvider_() - lastEventData_->lastEventDate();
    return sinceLast.count() >= lastEventData_->backoffTimeInterval();
}

std::optional<BCNInstallationsBackoffEventData> BCNInstallationsBackoffController::lastEventData()
    const {
    std::lock_guard lock(mutex_);
    return lastEventData_;
}

}  // namespace pex
