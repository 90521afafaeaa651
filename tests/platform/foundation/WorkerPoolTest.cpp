#include "platform/foundation/WorkerPool.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DispatchGroup.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {
namespace {

constexpr auto kGuard = std::chrono::seconds(30);  // only a hang guard, never a speed check

TEST(WorkerPoolTest, TenThousandTasksFromSeveralThreadsRunInEachProducersOrder) {
    DispatchQueue queue = DispatchQueue::serial("many.producers");
    constexpr int kProducers = 4, kEach = 2500;
    std::vector<std::vector<int>> seen(kProducers);
    std::vector<int> global;
    std::atomic<int> active{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) {
                queue.async([&, p, i] {
                    if (active.fetch_add(1) != 0) overlapped = true;
                    seen[p].push_back(i);
                    global.push_back(p * kEach + i);
                    active.fetch_sub(1);
                });
            }
        });
    }
    for (auto& producer : producers) producer.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(global.size(), std::size_t{kProducers * kEach});
    for (int p = 0; p < kProducers; ++p) {
        ASSERT_EQ(seen[p].size(), std::size_t{kEach});
        for (int i = 0; i < kEach; ++i) ASSERT_EQ(seen[p][i], i);
    }
}

// Many idle serial queues hold no threads: they share the pool.
TEST(WorkerPoolTest, SerialQueuesShareThePoolInsteadOfAThreadEach) {
    std::vector<DispatchQueue> queues;
    for (int i = 0; i < 200; ++i) queues.push_back(DispatchQueue::serial("q" + std::to_string(i)));
    std::mutex mutex;
    std::set<std::thread::id> threads;
    DispatchGroup group;
    for (int round = 0; round < 5; ++round) {
        for (auto& queue : queues) {
            group.async(queue, [&] {
                std::lock_guard lock(mutex);
                threads.insert(std::this_thread::get_id());
            });
        }
        ASSERT_TRUE(group.wait(kGuard));
    }
    EXPECT_LT(threads.size(), queues.size());
    EXPECT_LT(WorkerPool::shared().threadCount(), queues.size());
}

// A job that blocks does not keep others from running: the pool starts another thread.
TEST(WorkerPoolTest, BlockedWorkNeverStarvesOtherQueues) {
    // Shared with the jobs: a woken job still holds its semaphore after the test has moved on.
    const auto unblock = std::make_shared<DispatchSemaphore>();
    const auto otherRan = std::make_shared<DispatchSemaphore>();
    std::vector<DispatchQueue> blocked;
    for (int i = 0; i < 16; ++i) {
        blocked.push_back(DispatchQueue::serial("blocked"));
        blocked.back().async([unblock] { unblock->wait(kGuard); });
    }
    DispatchQueue::serial("free").async([otherRan] { otherRan->signal(); });
    EXPECT_TRUE(otherRan->wait(kGuard));
    for (int i = 0; i < 16; ++i) unblock->signal();
}

TEST(WorkerPoolTest, QueuesKeepTheirQualityOfServiceAndGlobalQueuesTheirLabels) {
    EXPECT_EQ(DispatchQueue::serial("s").qos(), QualityOfService::Default);
    EXPECT_EQ(DispatchQueue::concurrent("c", QualityOfService::Utility).qos(),
              QualityOfService::Utility);
    EXPECT_EQ(DispatchQueue::global().label(), "global");
    EXPECT_EQ(DispatchQueue::global(QualityOfService::Background).label(), "global.background");
    EXPECT_EQ(DispatchQueue::global(QualityOfService::Background),
              DispatchQueue::global(QualityOfService::Background));
    DispatchSemaphore ran;
    DispatchQueue::global(QualityOfService::UserInitiated).async([&] { ran.signal(); });
    EXPECT_TRUE(ran.wait(kGuard));
}

// Delayed work fires in deadline order on the manual clock, whatever the order of submission,
// and items with one deadline keep their submission order.
TEST(WorkerPoolTest, AsyncAfterRunsInDeadlineOrderOnTheManualClock) {
    ScopedManualClock manual;
    DispatchQueue queue = DispatchQueue::serial("after");
    std::vector<std::string> order;
    using std::chrono::milliseconds;
    using std::chrono::nanoseconds;
    queue.asyncAfter(milliseconds(300), [&] { order.push_back("300ms"); });
    queue.asyncAfter(nanoseconds(1), [&] { order.push_back("1ns"); });
    queue.asyncAfter(milliseconds(100), [&] { order.push_back("100ms-a"); });
    queue.asyncAfter(milliseconds(100), [&] { order.push_back("100ms-b"); });
    queue.asyncAfter(nanoseconds(0), [&] { order.push_back("now"); });

    queue.sync([] {});
    EXPECT_EQ(order, std::vector<std::string>{"now"});
    manual.clock().advance(milliseconds(100) - nanoseconds(1));
    queue.sync([] {});
    EXPECT_EQ(order, (std::vector<std::string>{"now", "1ns"}));
    manual.clock().advance(nanoseconds(1));
    queue.sync([] {});
    EXPECT_EQ(order, (std::vector<std::string>{"now", "1ns", "100ms-a", "100ms-b"}));
    manual.clock().advance(std::chrono::seconds(1));
    queue.sync([] {});
    EXPECT_EQ(order.back(), "300ms");
    EXPECT_EQ(manual.clock().pendingCount(), 0u);
}

bool threadRuns(pid_t thread) {
    return std::filesystem::exists("/proc/self/task/" + std::to_string(thread));
}

// The end of the process: what the pool was given finishes, then every thread it started has
// ended (joined, not just idle), and later work is kept without running.
TEST(WorkerPoolTest, StopFinishesWhatWasGivenThenEndsEveryThread) {
    WorkerPool pool;
    std::mutex mutex;
    std::set<pid_t> threads;
    std::atomic<int> finished{0};
    for (int i = 0; i < 8; ++i) {
        pool.submit(
            [&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));  // under way
                std::lock_guard lock(mutex);
                threads.insert(gettid());
                ++finished;
            },
            QualityOfService::Default);
    }
    ASSERT_TRUE(pool.stop(std::chrono::steady_clock::now() + kGuard));
    EXPECT_EQ(finished, 8);
    EXPECT_TRUE(pool.isStopped());
    EXPECT_EQ(pool.threadCount(), 0u);
    ASSERT_FALSE(threads.empty());
    for (const pid_t thread : threads) EXPECT_FALSE(threadRuns(thread)) << thread;

    bool ranLate = false;
    pool.submit([&] { ranLate = true; }, QualityOfService::UserInteractive);
    EXPECT_EQ(pool.threadCount(), 0u);  // nothing started to run it
    EXPECT_TRUE(pool.stop(std::chrono::steady_clock::now()));
    EXPECT_FALSE(ranLate);
}

// Work still running at the bound: the stop gives up and the pool goes on as before.
TEST(WorkerPoolTest, StopGivesUpWhileWorkIsStillRunningAtTheBound) {
    WorkerPool pool;
    const auto release = std::make_shared<DispatchSemaphore>();
    std::atomic<bool> laterRan{false};
    pool.submit([release] { release->wait(kGuard); }, QualityOfService::Default);
    EXPECT_FALSE(pool.stop(std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
    EXPECT_FALSE(pool.isStopped());
    pool.submit([&] { laterRan = true; }, QualityOfService::Default);
    release->signal();
    ASSERT_TRUE(pool.stop(std::chrono::steady_clock::now() + kGuard));
    EXPECT_TRUE(laterRan);
    EXPECT_EQ(pool.threadCount(), 0u);
}

}  // namespace
}  // namespace pex
