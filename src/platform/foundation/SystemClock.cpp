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
struct SystemClock::State : std::enable_shared_from_this<SystemClock::State> {
    using Key = std::pair<TimePoint, TimerId>;  // deadline first, then order of scheduling

    std::mutex mutex;
    std::condition_variable changed;
    std::map<Key, std::function<void()>> pending;
    std::unordered_map<TimerId, TimePoint> deadlines;
    TimerId nextId = 1;
    bool stopping = false;
    bool runningOut = false;  // every call fires now, whatever its deadline
    std::thread thread;
    std::thread::id schedulerId;

    void startLocked() {
        if (!thread.joinable()) thread = launchThread([self = shared_from_this()] { self->run(); });
    }

    void run() {
        std::unique_lock lock(mutex);
        schedulerId = std::this_thread::get_id();
        while (!stopping) {
            if (pending.empty()) {
                changed.wait(lock);
                continue;
            }
            auto first = pending.begin();
            // A copy: the entry may be cancelled (and freed) while the wait has the lock released.
            const TimePoint due = first->first.first;
            if (!runningOut && due > steadyNow()) {
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
    stop();
}

void SystemClock::runOut() {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) return;
        state_->runningOut = true;
        if (!state_->pending.empty()) state_->startLocked();
    }
    state_->changed.notify_all();
}

void SystemClock::stop() {
    std::map<State::Key, std::function<void()>> dropped;
    std::thread thread;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->pending);
        state_->deadlines.clear();
        thread = std::move(state_->thread);
    }
    state_->changed.notify_all();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // stopped by one of its own calls; the thread ends by itself
        } else {
            thread.join();
        }
    }
    // `dropped` goes here, outside the lock: its captures may own queues or clocks.
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
    // Never fires: `fire` goes as this returns. Once time has run out, a call that schedules
    // another (a repeating timer) is the last of its line.
    if (state_->stopping ||
        (state_->runningOut && std::this_thread::get_id() == state_->schedulerId)) {
        return id;
    }
    state_->pending.emplace(State::Key{deadline, id}, std::move(fire));
    state_->deadlines.emplace(id, deadline);
    state_->startLocked();
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
