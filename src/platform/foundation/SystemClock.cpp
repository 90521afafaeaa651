#include <time.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/ThreadLauncher.h"

namespace pex {

namespace {
Clock::TimePoint steadyNow() {
    return std::chrono::time_point_cast<Clock::Duration>(std::chrono::steady_clock::now());
}
}  // namespace

// Shared with the scheduler thread, so the thread may outlive a SystemClock destroyed from
// inside one of its own calls.
struct SystemClock::State {
    using Key = std::pair<TimePoint, TimerId>;  // deadline first, then order of scheduling

    std::mutex mutex;
    std::condition_variable changed;
    std::map<Key, std::function<void()>> pending;
    std::unordered_map<TimerId, TimePoint> deadlines;
    TimerId nextId = 1;
    bool stopping = false;
    std::thread thread;

    void runScheduler() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (pending.empty()) {
                changed.wait(lock);
                continue;
            }
            auto first = pending.begin();
            // A copy: the entry may be cancelled (and freed) while the wait has the lock released.
            const TimePoint due = first->first.first;
            if (due > steadyNow()) {
                changed.wait_until(lock, due);
                continue;
            }
            std::function<void()> fire = std::move(first->second);
            deadlines.erase(first->first.second);
            pending.erase(first);
            lock.unlock();
            fire();
            fire = nullptr;  // release what the call captured before taking the lock again
            lock.lock();
        }
    }
};

SystemClock::SystemClock() : state_(std::make_shared<State>()) {}

SystemClock::~SystemClock() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->changed.notify_all();
    if (!state_->thread.joinable()) return;
    if (state_->thread.get_id() == std::this_thread::get_id()) {
        state_->thread.detach();  // destroyed by one of its own calls; the thread ends by itself
    } else {
        state_->thread.join();
    }
}

Clock::TimePoint SystemClock::now() const {
    return steadyNow();
}

Clock::TimePoint SystemClock::nowIncludingSleep() const {
    timespec sinceBoot{};
    ::clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
    return TimePoint(std::chrono::seconds(sinceBoot.tv_sec) +
                     std::chrono::nanoseconds(sinceBoot.tv_nsec));
}

Clock::TimerId SystemClock::schedule(TimePoint deadline, std::function<void()> fire) {
    std::lock_guard lock(state_->mutex);
    TimerId id = state_->nextId++;
    state_->pending.emplace(State::Key{deadline, id}, std::move(fire));
    state_->deadlines.emplace(id, deadline);
    if (!state_->thread.joinable()) {
        state_->thread = launchThread([state = state_] { state->runScheduler(); });
    }
    state_->changed.notify_all();
    return id;
}

void SystemClock::cancel(TimerId id) {
    std::function<void()> dropped;
    {
        std::lock_guard lock(state_->mutex);
        auto found = state_->deadlines.find(id);
        if (found == state_->deadlines.end()) return;
        auto entry = state_->pending.find(State::Key{found->second, id});
        dropped = std::move(entry->second);
        state_->pending.erase(entry);
        state_->deadlines.erase(found);
    }
    // `dropped` is destroyed here, outside the lock: its captures may own queues or clocks.
}

}  // namespace pex
