#include "platform/foundation/WorkerPool.h"

#include "platform/foundation/ThreadLauncher.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace pex {

namespace {
// Idle threads wait this long for more work before they end, so bursts reuse threads.
constexpr auto kLinger = std::chrono::seconds(2);
// How often the supervisor looks for jobs that wait while every thread is busy.
constexpr auto kStallCheck = std::chrono::milliseconds(10);
// A bound on threads started for blocked work, far above what the application needs.
constexpr std::size_t kMaxThreads = 512;
constexpr std::size_t kLevels = 5;

std::size_t coreWidth() {
    return std::max<std::size_t>(4, std::thread::hardware_concurrency());
}
}  // namespace

struct WorkerPool::State {
    mutable std::mutex mutex;
    std::condition_variable posted;
    std::condition_variable waiting;            // wakes the supervisor when jobs wait
    std::array<std::deque<Job>, kLevels> jobs;  // by quality of service, lowest first
    std::size_t queued = 0;
    std::size_t threads = 0;
    std::size_t idle = 0;
    std::uint64_t taken = 0;  // jobs started so far: the supervisor's sign of progress
    bool supervising = false;

    bool takeLocked(Job& job) {
        for (std::size_t level = kLevels; level-- > 0;) {
            if (jobs[level].empty()) continue;
            job = std::move(jobs[level].front());
            jobs[level].pop_front();
            --queued;
            ++taken;
            return true;
        }
        return false;
    }

    void startThreadLocked() {
        ++threads;
        launchThread([this] { workerLoop(); }).detach();
    }

    void workerLoop() {
        std::unique_lock lock(mutex);
        for (;;) {
            Job job;
            if (takeLocked(job)) {
                lock.unlock();
                job();
                job = nullptr;  // captures go before the lock is taken again
                lock.lock();
                continue;
            }
            ++idle;
            const bool woken = posted.wait_for(lock, kLinger, [&] { return queued > 0; });
            --idle;
            if (!woken) break;
        }
        --threads;
    }

    // Up to one thread per core starts as work arrives. Beyond that a thread is added only
    // when jobs have waited a whole check without any job starting: the busy threads are
    // blocked, and work that would unblock them may be among the waiting jobs.
    void supervise() {
        std::unique_lock lock(mutex);
        for (;;) {
            waiting.wait(lock, [&] { return queued > 0; });
            const std::uint64_t before = taken;
            // A whole check period, even when new submissions wake the wait early.
            const auto deadline = std::chrono::steady_clock::now() + kStallCheck;
            while (waiting.wait_until(lock, deadline) == std::cv_status::no_timeout) {
            }
            if (queued > 0 && taken == before && idle == 0 && threads < kMaxThreads)
                startThreadLocked();
        }
    }
};

WorkerPool::WorkerPool() : state_(new State) {}

WorkerPool& WorkerPool::shared() {
    static auto* pool = new WorkerPool;
    return *pool;
}

void WorkerPool::submit(Job job, QualityOfService qos) {
    State& state = *state_;
    std::lock_guard lock(state.mutex);
    state.jobs[static_cast<std::size_t>(qos)].push_back(std::move(job));
    ++state.queued;
    if (!state.supervising) {
        state.supervising = true;
        launchThread([&state] { state.supervise(); }).detach();
    }
    // Counting queued jobs against idle threads keeps two quick submits from sharing a wake-up.
    if (state.idle >= state.queued) {
        state.posted.notify_one();
    } else if (state.threads < coreWidth()) {
        state.startThreadLocked();
    } else {
        state.waiting.notify_one();
    }
}

std::size_t WorkerPool::threadCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->threads;
}

}  // namespace pex
