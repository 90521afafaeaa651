#include "service/TimerManager.h"

#include <chrono>
#include <iostream>

#include "platform/foundation/MainQueue.h"

namespace pex {

TimerManager& TimerManager::shared() {
    // Never destroyed: callbacks and timers may still refer to it while the process exits.
    static TimerManager* const instance = new TimerManager();
    return *instance;
}

void TimerManager::resetCounters() {
    elapsedSeconds = 0;
    expiresTime = kDefaultExpiresTime;
    oldExpiresTime = 0;
}

void TimerManager::start() {
    assertMainThread("TimerManager::start");
    timer.reset();  // cancels the running timer, if any
    resetCounters();
    // The clock owns its timer, and a cancelled timer never runs its handler again, so the
    // handler may refer to the clock directly.
    timer = std::make_unique<DispatchTimer>(DispatchQueue::main(), std::chrono::seconds(1),
                                            [this] { tick(); });
    timer->resume();
}

void TimerManager::stop() {
    assertMainThread("TimerManager::stop");
    timer.reset();
    resetCounters();
}

void TimerManager::tick() {
    elapsedSeconds += 1;

    // Each callback is copied before it runs: it may replace or clear its own field (billing
    // clears `onBillingUpdate` when it fails), which must not destroy the running function.
    // The counters are read afresh after each callback, as one may stop the clock.
    if (auto tickCallback = onTick) tickCallback(elapsedSeconds);

    if (elapsedSeconds > 0 && elapsedSeconds % kBillingPeriod == 0) {
        std::cout << "💰 执行计费刷新" << std::endl;
        if (auto billing = onBillingUpdate) billing();
    }

    const std::int64_t sincePeriodStart = elapsedSeconds - oldExpiresTime;
    if (expiresTime > 0 && sincePeriodStart >= 1 && sincePeriodStart % expiresTime == 0) {
        std::cout << "🔄 刷新微软 token" << std::endl;
        if (auto refresh = onTokenRefresh) refresh();
    }
}

}  // namespace pex
