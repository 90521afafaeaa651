#include "platform/foundation/Clock.h"

#include <mutex>

namespace pex {

namespace {

// Never destroyed: queues, timers and detached threads may still read the clock while the
// process exits, after ordinary statics would have gone.
struct CurrentClock {
    std::mutex mutex;
    std::shared_ptr<SystemClock> system = std::make_shared<SystemClock>();
    std::shared_ptr<Clock> installed;
};

CurrentClock& currentClock() {
    static auto* holder = new CurrentClock;
    return *holder;
}

}  // namespace

std::shared_ptr<Clock> Clock::current() {
    CurrentClock& holder = currentClock();
    std::lock_guard lock(holder.mutex);
    return holder.installed ? holder.installed : holder.system;
}

std::shared_ptr<SystemClock> Clock::system() {
    CurrentClock& holder = currentClock();
    std::lock_guard lock(holder.mutex);
    return holder.system;
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
    CurrentClock& holder = currentClock();
    std::shared_ptr<Clock> replaced;
    {
        std::lock_guard lock(holder.mutex);
        replaced = std::move(holder.installed);
        holder.installed = std::move(clock);
    }
    // `replaced` may be the last reference; let it go outside the lock.
}

ScopedManualClock::ScopedManualClock()
    : manual_(std::make_shared<ManualClock>()), previous_(Clock::current()) {
    Clock::setCurrent(manual_);
}

ScopedManualClock::~ScopedManualClock() {
    Clock::setCurrent(previous_);
}

}  // namespace pex
