#include "platform/foundation/OperationQueue.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/DispatchGroup.h"

namespace pex {
namespace {

constexpr auto kGuard = std::chrono::seconds(20);  // only a hang guard, never a speed check

bool waitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kGuard;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(OperationQueueTest, WithALimitOfOneItRunsItsItemsOneAfterAnotherInOrder) {
    // The underlying queue would run them side by side: the limit alone keeps them apart.
    const OperationQueue queue("com.example.work-queue", 1,
                               DispatchQueue::concurrent("com.example.startup"));
    EXPECT_EQ(queue.name(), "com.example.work-queue");
    EXPECT_EQ(queue.maxConcurrentOperationCount(), 1);
    std::atomic<int> active{0};
    std::atomic<bool> overlapped{false};
    std::vector<int> order;
    std::vector<std::string> labels;
    DispatchGroup group;
    for (int i = 0; i < 200; ++i) {
        group.enter();
        queue.addOperation([&, i] {
            if (active.fetch_add(1) != 0) overlapped = true;
            order.push_back(i);
            labels.push_back(DispatchQueue::currentLabel());
            std::this_thread::yield();
            active.fetch_sub(1);
            group.leave();
        });
    }
    ASSERT_TRUE(group.wait(kGuard));
    EXPECT_FALSE(overlapped);
    std::vector<int> expected(200);
    for (int i = 0; i < 200; ++i) expected[i] = i;
    EXPECT_EQ(order, expected);
    EXPECT_EQ(labels, std::vector<std::string>(200, "com.example.startup"));
}

TEST(OperationQueueTest, WithoutALimitItsItemsRunSideBySide) {
    // Each item waits for the other: only items that run at the same time both get through.
    const OperationQueue queue("com.example.side-by-side");
    EXPECT_EQ(queue.maxConcurrentOperationCount(),
              OperationQueue::kDefaultMaxConcurrentOperationCount);
    DispatchSemaphore first;
    DispatchSemaphore second;
    std::atomic<int> through{0};
    queue.addOperation([&] {
        first.signal();
        if (second.wait(kGuard)) ++through;
    });
    queue.addOperation([&] {
        second.signal();
        if (first.wait(kGuard)) ++through;
    });
    ASSERT_TRUE(waitUntil([&] { return queue.operationCount() == 0; }));
    EXPECT_EQ(through.load(), 2);
}

TEST(OperationQueueTest, CountsItemsRunningAndWaitingUntilTheyFinish) {
    const OperationQueue queue("com.example.count", 1);
    DispatchSemaphore release;
    std::atomic<bool> started{false};
    queue.addOperation([&] {
        started = true;
        release.wait(kGuard);
    });
    std::atomic<bool> secondRan{false};
    queue.addOperation([&] { secondRan = true; });
    ASSERT_TRUE(waitUntil([&] { return started.load(); }));
    EXPECT_EQ(queue.operationCount(), 2u);  // one running, one waiting its turn
    EXPECT_FALSE(secondRan);
    release.signal();
    ASSERT_TRUE(waitUntil([&] { return queue.operationCount() == 0; }));
    EXPECT_TRUE(secondRan);
}

TEST(OperationQueueTest, ItemsAlreadyAddedRunAfterTheLastHandleIsGone) {
    DispatchSemaphore ran;
    {
        const OperationQueue queue("com.example.dropped", 1);
        for (int i = 0; i < 3; ++i) queue.addOperation([&] { ran.signal(); });
    }
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(ran.wait(kGuard));
}

}  // namespace
}  // namespace pex
