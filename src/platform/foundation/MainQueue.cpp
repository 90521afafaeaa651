#include "platform/foundation/MainQueue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace pex {

namespace {

std::atomic<std::thread::id> gMainThread{};

// Static initialisation runs on the process's first thread before main(), so that thread is
// the main thread unless main() adopts another one.
struct MarkInitialThread {
    MarkInitialThread() {
        std::thread::id none;
        gMainThread.compare_exchange_strong(none, std::this_thread::get_id());
    }
} gMarkInitialThread;

// Never destroyed: worker and timer threads may still post while the process exits.
struct RunLoop {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<MainQueue::Work> queue;
    MainQueue::Driver driver;
    bool stopRequested = false;
};

RunLoop& runLoop() {
    static auto* loop = new RunLoop;
    return *loop;
}

// Takes the next queued item, waiting for one until `deadline` (if given); empty when none came.
MainQueue::Work takeNext(std::optional<std::chrono::steady_clock::time_point> deadline) {
    RunLoop& loop = runLoop();
    std::unique_lock lock(loop.mutex);
    if (deadline) loop.posted.wait_until(lock, *deadline, [&] { return !loop.queue.empty(); });
    if (loop.queue.empty()) return nullptr;
    MainQueue::Work work = std::move(loop.queue.front());
    loop.queue.pop_front();
    return work;
}

}  // namespace

void MainQueue::adoptCurrentThreadAsMain() {
    gMainThread.store(std::this_thread::get_id());
}

bool MainQueue::isMainThread() {
    return gMainThread.load() == std::this_thread::get_id();
}

void MainQueue::setDriver(Driver driver) {
    RunLoop& loop = runLoop();
    std::deque<Work> moved;
    Driver replaced;
    {
        // The driver is called under the lock so items keep their order across the switch;
        // a driver only queues work, it never runs it inline.
        std::lock_guard lock(loop.mutex);
        replaced = std::move(loop.driver);
        loop.driver = std::move(driver);
        if (loop.driver) {
            moved.swap(loop.queue);
            for (Work& work : moved) loop.driver(std::move(work));
        }
    }
    loop.posted.notify_all();
}

void MainQueue::post(Work work) {
    RunLoop& loop = runLoop();
    {
        std::lock_guard lock(loop.mutex);
        if (loop.driver) {
            loop.driver(std::move(work));
            return;
        }
        loop.queue.push_back(std::move(work));
    }
    loop.posted.notify_one();
}

// The run-loop functions assert the main thread: main-queue work must never run elsewhere.
bool MainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    assertMainThread("MainQueue::runUntil");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // `done` may become true on another thread without anything being posted, so waits are
    // short and it is checked again after each.
    constexpr auto kRecheck = std::chrono::milliseconds(5);
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        if (Work work = takeNext(std::min(deadline, now + kRecheck))) work();
    }
    return done();
}

std::size_t MainQueue::drain() {
    assertMainThread("MainQueue::drain");
    std::size_t count = 0;
    while (Work work = takeNext(std::nullopt)) {
        work();
        ++count;
    }
    return count;
}

void MainQueue::run() {
    assertMainThread("MainQueue::run");
    RunLoop& loop = runLoop();
    for (;;) {
        std::unique_lock lock(loop.mutex);
        loop.posted.wait(lock, [&] { return !loop.queue.empty() || loop.stopRequested; });
        if (loop.stopRequested) {
            loop.stopRequested = false;
            return;
        }
        Work work = std::move(loop.queue.front());
        loop.queue.pop_front();
        lock.unlock();
        work();
    }
}

void MainQueue::stop() {
    RunLoop& loop = runLoop();
    {
        std::lock_guard lock(loop.mutex);
        loop.stopRequested = true;
    }
    loop.posted.notify_all();
}

void assertMainThread(const char* where) {
#ifndef NDEBUG
    if (!MainQueue::isMainThread()) {
        std::fprintf(stderr, "pexmora: %s must run on the main thread\n",
                     where && *where ? where : "this code");
        std::abort();
    }
#else
    (void)where;
#endif
}

}  // namespace pex
