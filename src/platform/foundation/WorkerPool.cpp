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
#include <unordered_map>
#include <vector>

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
    std::condition_variable quiet;              // wakes a stop waiting for the pool to be idle
    std::array<std::deque<Job>, kLevels> jobs;  // by quality of service, lowest first
    std::size_t queued = 0;
    std::size_t threads = 0;
    std::size_t idle = 0;
    std::uint64_t taken = 0;  // jobs started so far: the supervisor's sign of progress
    bool supervising = false;
    bool stopped = false;
    // Every worker in its loop, for a stop to join.
    std::unordered_map<std::thread::id, std::thread> workers;
    std::thread supervisor;

    bool idleLocked() const { return queued == 0 && idle == threads; }

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
        std::thread worker = launchThread([this] { workerLoop(); });
        const std::thread::id id = worker.get_id();
        workers.emplace(id, std::move(worker));
    }

    void workerLoop() {
        std::unique_lock lock(mutex);
        for (;;) {
            Job job;
            if (!stopped && takeLocked(job)) {
                lock.unlock();
                job();
                job = nullptr;  // captures go before the lock is taken again
                lock.lock();
                continue;
            }
            ++idle;
            if (idleLocked()) quiet.notify_all();
            const bool woken =
                posted.wait_for(lock, kLinger, [&] { return queued > 0 || stopped; });
            --idle;
            if (!woken || stopped) break;
        }
        --threads;
        if (idleLocked()) quiet.notify_all();
        // Ending after its linger, the thread runs nothing of ours any more: nobody needs to
        // wait for it. Ended by a stop, the stop holds its handle and joins it.
        if (auto self = workers.find(std::this_thread::get_id()); self != workers.end()) {
            self->second.detach();
            workers.erase(self);
        }
    }

    // Up to one thread per core starts as work arrives. Beyond that a thread is added only
    // when jobs have waited a whole check without any job starting: the busy threads are
    // blocked, and work that would unblock them may be among the waiting jobs.
    void supervise() {
        std::unique_lock lock(mutex);
        for (;;) {
            waiting.wait(lock, [&] { return queued > 0 || stopped; });
            if (stopped) return;
            const std::uint64_t before = taken;
            // A whole check period, even when new submissions wake the wait early.
            const auto deadline = std::chrono::steady_clock::now() + kStallCheck;
            while (waiting.wait_until(lock, deadline) == std::cv_status::no_timeout) {
            }
            if (stopped) return;
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
    // A stopped pool keeps the job and runs nothing: the process is ending, and what the job
    // holds may no longer be safe to destroy.
    if (state.stopped) return;
    if (!state.supervising) {
        state.supervising = true;
        state.supervisor = launchThread([&state] { state.supervise(); });
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

bool WorkerPool::stop(Deadline deadline) {
    State& state = *state_;
    std::vector<std::thread> threads;
    {
        std::unique_lock lock(state.mutex);
        if (state.stopped) return true;
        if (!state.quiet.wait_until(lock, deadline, [&] { return state.idleLocked(); })) {
            return false;
        }
        state.stopped = true;
        state.posted.notify_all();
        state.waiting.notify_all();
        for (auto& [id, thread] : state.workers) threads.push_back(std::move(thread));
        state.workers.clear();
        if (state.supervisor.joinable()) threads.push_back(std::move(state.supervisor));
    }
    for (std::thread& thread : threads) thread.join();
    return true;
}

bool WorkerPool::isStopped() const {
    std::lock_guard lock(state_->mutex);
    return state_->stopped;
}

std::size_t WorkerPool::threadCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->threads;
}

}  // namespace pex
