#include "platform/foundation/DispatchGroup.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "platform/foundation/MainQueue.h"

namespace pex {
namespace {

using std::chrono::milliseconds;
constexpr auto kGuard = std::chrono::seconds(20);

TEST(DispatchGroupTest, NotifyRunsOnItsQueueOnlyOnceEveryoneHasLeft) {
    MainQueue::drain();
    DispatchGroup group;
    int notified = 0;
    group.enter();
    group.enter();
    group.notify(DispatchQueue::main(), [&] { ++notified; });
    group.leave();
    MainQueue::drain();
    EXPECT_EQ(notified, 0);
    group.leave();
    EXPECT_EQ(notified, 0);  // posted, never inline
    MainQueue::drain();
    EXPECT_EQ(notified, 1);

    // An empty group notifies through the queue straight away.
    group.notify(DispatchQueue::main(), [&] { ++notified; });
    EXPECT_EQ(notified, 1);
    MainQueue::drain();
    EXPECT_EQ(notified, 2);
}

TEST(DispatchGroupTest, WaitReturnsWhenAllGroupedWorkHasRun) {
    DispatchGroup group;
    std::atomic<int> done{0};
    for (int i = 0; i < 20; ++i) group.async(DispatchQueue::global(), [&] { ++done; });
    ASSERT_TRUE(group.wait(kGuard));
    EXPECT_EQ(done.load(), 20);
    EXPECT_TRUE(group.wait(milliseconds(0)));  // already empty
}

TEST(DispatchGroupTest, WaitTimesOutWhileSomeoneIsInside) {
    DispatchGroup group;
    group.enter();
    EXPECT_FALSE(group.wait(milliseconds(10)));
    std::thread leaver([&] { group.leave(); });
    EXPECT_TRUE(group.wait(milliseconds::max()));  // waits without a limit
    leaver.join();
}

TEST(DispatchSemaphoreTest, CountsSignalsAndTimesOut) {
    DispatchSemaphore semaphore(2);
    EXPECT_TRUE(semaphore.wait(milliseconds(0)));
    EXPECT_TRUE(semaphore.wait(milliseconds(0)));
    EXPECT_FALSE(semaphore.wait(milliseconds(10)));
    semaphore.signal();
    EXPECT_TRUE(semaphore.wait(milliseconds(0)));

    std::thread signaller([&] { semaphore.signal(); });
    EXPECT_TRUE(semaphore.wait());  // default: no limit
    signaller.join();
    EXPECT_FALSE(semaphore.wait(milliseconds(0)));
}

#ifndef NDEBUG
TEST(DispatchGroupDeathTest, LeaveWithoutEnterAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(DispatchGroup().leave(), "without a matching enter");
}
#endif

}  // namespace
}  // namespace pex
