#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/foundation/Clock.h"

namespace pex {

struct ManualClock::State {
    using Key = std::pair<TimePoint, TimerId>;  // deadline first, then order of scheduling

    mutable std::mutex mutex;
    TimePoint now = TimePoint(std::chrono::hours(24));
    Duration slept{0};
    std::map<Key, std::function<void()>> pending;
    std::unordered_map<TimerId, TimePoint> deadlines;
    TimerId nextId = 1;
};

ManualClock::ManualClock() : state_(std::make_unique<State>()) {}

ManualClock::~ManualClock() = default;

Clock::TimePoint ManualClock::now() const {
    std::lock_guard lock(state_->mutex);
    return state_->now;
}

Clock::TimePoint ManualClock::nowIncludingSleep() const {
    std::lock_guard lock(state_->mutex);
    return state_->now + state_->slept;
}

void ManualClock::suspend(Duration by) {
    if (by < Duration::zero()) return;
    std::lock_guard lock(state_->mutex);
    state_->slept += by;
}

Clock::TimerId ManualClock::schedule(TimePoint deadline, std::function<void()> fire) {
    std::lock_guard lock(state_->mutex);
    TimerId id = state_->nextId++;
    state_->pending.emplace(State::Key{deadline, id}, std::move(fire));
    state_->deadlines.emplace(id, deadline);
    return id;
}

void ManualClock::cancel(TimerId id) {
    std::function<void()> dropped;
    std::lock_guard lock(state_->mutex);
    auto found = state_->deadlines.find(id);
    if (found == state_->deadlines.end()) return;
    auto entry = state_->pending.find(State::Key{found->second, id});
    dropped = std::move(entry->second);
    state_->pending.erase(entry);
    state_->deadlines.erase(found);
    // `dropped` is released after the lock (declared before it), as its captures may use the clock.
}

void ManualClock::advance(Duration by) {
    if (by < Duration::zero()) return;
    std::unique_lock lock(state_->mutex);
    const TimePoint target = state_->now + by;
    for (;;) {
        auto first = state_->pending.begin();
        if (first == state_->pending.end() || first->first.first > target) break;
        // Time moves to each deadline as it fires, so a call sees the time it was due.
        if (first->first.first > state_->now) state_->now = first->first.first;
        std::function<void()> fire = std::move(first->second);
        state_->deadlines.erase(first->first.second);
        state_->pending.erase(first);
        lock.unlock();
        fire();
        fire = nullptr;
        lock.lock();
    }
    if (target > state_->now) state_->now = target;
}

std::size_t ManualClock::pendingCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->pending.size();
}

}  // namespace pex
