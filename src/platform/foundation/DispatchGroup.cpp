#include "platform/foundation/DispatchGroup.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace pex {

namespace {

// Waits on `condition` until `ready()` or `timeout`; a timeout too long to add to the present
// time (such as milliseconds::max()) waits without a limit.
template <typename Ready>
bool waitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock,
             std::chrono::milliseconds timeout, Ready ready) {
    constexpr auto kForever = std::chrono::hours(24 * 365);
    if (timeout >= kForever) {
        condition.wait(lock, ready);
        return true;
    }
    return condition.wait_for(lock, timeout, ready);
}

}  // namespace

struct DispatchGroup::State {
    std::mutex mutex;
    std::condition_variable empty;
    long count = 0;
    std::vector<std::pair<DispatchQueue, std::function<void()>>> notifications;

    void leave() {
        std::vector<std::pair<DispatchQueue, std::function<void()>>> due;
        {
            std::lock_guard lock(mutex);
            if (count == 0) {
                // More leaves than enters is a programming error; the count stays at zero.
                std::fprintf(stderr, "pexmora: DispatchGroup::leave without a matching enter\n");
#ifndef NDEBUG
                std::abort();
#endif
                return;
            }
            if (--count > 0) return;
            due.swap(notifications);
            empty.notify_all();
        }
        for (auto& [queue, work] : due) queue.async(std::move(work));
    }
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() {
    std::lock_guard lock(state_->mutex);
    ++state_->count;
}

void DispatchGroup::leave() {
    state_->leave();
}

void DispatchGroup::notify(const DispatchQueue& queue, std::function<void()> work) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->count > 0) {
            state_->notifications.emplace_back(queue, std::move(work));
            return;
        }
    }
    queue.async(std::move(work));
}

bool DispatchGroup::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    return waitFor(state_->empty, lock, timeout, [&] { return state_->count == 0; });
}

void DispatchGroup::async(const DispatchQueue& queue, std::function<void()> work) {
    enter();
    queue.async([state = state_, work = std::move(work)] {
        work();
        state->leave();
    });
}

struct DispatchSemaphore::State {
    std::mutex mutex;
    std::condition_variable signalled;
    long value = 0;
};

DispatchSemaphore::DispatchSemaphore(long value) : state_(std::make_unique<State>()) {
    state_->value = value;
}

DispatchSemaphore::~DispatchSemaphore() = default;

void DispatchSemaphore::signal() {
    std::lock_guard lock(state_->mutex);
    ++state_->value;
    state_->signalled.notify_one();
}

bool DispatchSemaphore::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    if (!waitFor(state_->signalled, lock, timeout, [&] { return state_->value > 0; })) {
        return false;
    }
    --state_->value;
    return true;
}

}  // namespace pex
