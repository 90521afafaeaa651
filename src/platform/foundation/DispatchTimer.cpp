#include "platform/foundation/DispatchTimer.h"

#include <algorithm>
#include <mutex>

#include "platform/foundation/DeliveryGate.h"

namespace pex {

// Shared with the clock's pending call and the queued handler runs, which hold it weakly so
// that a destroyed timer simply stops.
struct DispatchTimer::State : std::enable_shared_from_this<State> {
    State(DispatchQueue queue, Clock::Duration interval, std::function<void()> handler)
        : queue(std::move(queue)), interval(interval), handler(std::move(handler)) {}

    const DispatchQueue queue;
    const Clock::Duration interval;
    const std::function<void()> handler;

    std::mutex mutex;
    bool running = false;
    std::uint64_t generation = 0;  // bumped by cancel/resume so stale fires do nothing
    std::shared_ptr<Clock> clock;
    Clock::TimerId pendingId = 0;
    Clock::TimePoint start;
    DeliveryGate gate;  // closed by cancel: a handler run on another thread is waited for

    // Schedules the first grid point after the clock's present time; skipped ticks (a stalled
    // machine) are not made up in a burst.
    void scheduleNextLocked() {
        const Clock::TimePoint now = clock->now();
        const auto elapsed = now - start;
        const auto ticks = elapsed < Clock::Duration::zero() ? 0 : elapsed / interval;
        const Clock::TimePoint deadline = start + (ticks + 1) * interval;
        std::weak_ptr<State> weak = weak_from_this();
        const std::uint64_t armed = generation;
        pendingId = clock->schedule(deadline, [weak, armed] {
            if (auto self = weak.lock()) self->fired(armed);
        });
    }

    void fired(std::uint64_t armed) {
        std::lock_guard lock(mutex);
        if (!running || generation != armed) return;
        scheduleNextLocked();
        queue.async([weak = weak_from_this(), armed] {
            if (auto self = weak.lock()) self->runHandler(armed);
        });
    }

    void runHandler(std::uint64_t armed) {
        std::unique_lock lock(mutex);
        if (!running || generation != armed) return;
        // Admitted under the timer's lock, so a cancel either sees this run or refuses it.
        DeliveryGate::Pass pass(gate);
        lock.unlock();
        if (pass) handler();
    }
};

DispatchTimer::DispatchTimer(DispatchQueue queue, Clock::Duration interval,
                             std::function<void()> handler)
    : state_(std::make_shared<State>(std::move(queue), std::max(interval, Clock::Duration(1)),
                                     std::move(handler))) {}

DispatchTimer::~DispatchTimer() {
    cancel();
}

void DispatchTimer::resume() {
    std::lock_guard lock(state_->mutex);
    if (state_->running) return;
    state_->running = true;
    ++state_->generation;
    state_->gate.open();
    state_->clock = Clock::current();
    state_->start = state_->clock->now();
    state_->scheduleNextLocked();
}

void DispatchTimer::cancel() {
    std::shared_ptr<Clock> clock;
    Clock::TimerId pending = 0;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->running) return;
        state_->running = false;
        ++state_->generation;
        clock = state_->clock;
        pending = state_->pendingId;
    }
    if (clock) clock->cancel(pending);
    // Without the timer's lock: the running handler may ask whether the timer runs.
    state_->gate.close();
    std::lock_guard lock(state_->mutex);
    if (state_->running) state_->gate.open();  // resumed by another thread meanwhile
}

bool DispatchTimer::isRunning() const {
    std::lock_guard lock(state_->mutex);
    return state_->running;
}

}  // namespace pex
