#include "platform/foundation/Clock.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/DispatchGroup.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"

namespace pex {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ManualClockTest, FiresDueCallsInDeadlineOrderAtTheirOwnTime) {
    ManualClock clock;
    const Clock::TimePoint start = clock.now();
    std::vector<std::string> fired;
    std::vector<Clock::Duration> firedAt;
    auto record = [&](std::string name) {
        return [&, name] {
            fired.push_back(name);
            firedAt.push_back(clock.now() - start);
        };
    };
    clock.schedule(start + seconds(3), record("c"));
    clock.schedule(start + seconds(1), record("a1"));
    clock.schedule(start + seconds(1), record("a2"));  // same deadline: order of scheduling
    clock.schedule(start + seconds(2), record("b"));
    EXPECT_EQ(clock.pendingCount(), 4u);

    clock.advance(milliseconds(999));
    EXPECT_TRUE(fired.empty());
    clock.advance(milliseconds(1));  // exactly due
    EXPECT_EQ(fired, (std::vector<std::string>{"a1", "a2"}));
    clock.advance(seconds(5));
    EXPECT_EQ(fired, (std::vector<std::string>{"a1", "a2", "b", "c"}));
    EXPECT_EQ(firedAt,
              (std::vector<Clock::Duration>{seconds(1), seconds(1), seconds(2), seconds(3)}));
    EXPECT_EQ(clock.now() - start, seconds(6));
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST(ManualClockTest, CallsScheduledWhileFiringFireInTheSameAdvanceWhenDue) {
    ManualClock clock;
    int ticks = 0;
    std::function<void()> tick = [&] {
        ++ticks;
        clock.schedule(clock.now() + seconds(1), tick);
    };
    clock.schedule(clock.now() + seconds(1), tick);
    clock.advance(seconds(5));
    EXPECT_EQ(ticks, 5);
    EXPECT_EQ(clock.pendingCount(), 1u);  // the sixth, beyond the window
}

TEST(ManualClockTest, CancelledCallsNeverFireAndTimeNeverRunsBackwards) {
    ManualClock clock;
    bool fired = false;
    const Clock::TimerId id = clock.schedule(clock.now() + seconds(1), [&] { fired = true; });
    clock.cancel(id);
    clock.cancel(id);     // twice is harmless
    clock.cancel(12345);  // unknown too
    const Clock::TimePoint before = clock.now();
    clock.advance(-seconds(10));
    EXPECT_EQ(clock.now(), before);
    clock.advance(seconds(2));
    EXPECT_FALSE(fired);
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST(ClockTest, ScopedManualClockInstallsAndRestores) {
    const std::shared_ptr<Clock> before = Clock::current();
    ASSERT_NE(before, nullptr);
    {
        ScopedManualClock manual;
        EXPECT_EQ(Clock::current().get(), &manual.clock());
        {
            ScopedManualClock inner;
            EXPECT_EQ(Clock::current().get(), &inner.clock());
        }
        EXPECT_EQ(Clock::current().get(), &manual.clock());
    }
    EXPECT_EQ(Clock::current(), before);
    EXPECT_NE(dynamic_cast<SystemClock*>(before.get()), nullptr);

    Clock::setCurrent(std::make_shared<ManualClock>());
    Clock::setCurrent(nullptr);  // back to the system clock
    EXPECT_EQ(Clock::current(), before);
}

TEST(SystemClockTest, FiresDueCallsOnItsThreadAndForgetsCancelledOnes) {
    SystemClock clock;
    DispatchSemaphore fired;
    bool cancelledFired = false;
    const Clock::TimerId far =
        clock.schedule(clock.now() + std::chrono::hours(1), [&] { cancelledFired = true; });
    const Clock::TimerId soon =
        clock.schedule(clock.now() + milliseconds(2), [&] { fired.signal(); });
    EXPECT_NE(far, soon);
    clock.cancel(far);
    EXPECT_TRUE(fired.wait(seconds(20)));
    EXPECT_FALSE(cancelledFired);
}

TEST(SystemClockTest, DestroyingWithPendingCallsDoesNotFireThem) {
    bool fired = false;
    {
        SystemClock clock;
        clock.schedule(clock.now() + std::chrono::hours(1), [&] { fired = true; });
    }
    EXPECT_FALSE(fired);
}

// The end of the process: the scheduler thread ends, a pending call never fires and what it
// holds is let go, and a call scheduled afterwards is dropped at once.
TEST(SystemClockTest, StopEndsTheSchedulerAndDropsPendingAndLaterCalls) {
    SystemClock clock;
    std::atomic<pid_t> scheduler{0};
    DispatchSemaphore fired;
    clock.schedule(clock.now(), [&] {
        scheduler = gettid();
        fired.signal();
    });
    ASSERT_TRUE(fired.wait(seconds(20)));
    const auto held = std::make_shared<int>(0);
    bool pendingFired = false;
    clock.schedule(clock.now() + std::chrono::hours(1), [&, held] { pendingFired = true; });
    EXPECT_EQ(held.use_count(), 2);

    clock.stop();
    EXPECT_FALSE(std::filesystem::exists("/proc/self/task/" + std::to_string(scheduler.load())));
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_FALSE(pendingFired);
    clock.schedule(clock.now(), [held] {});
    EXPECT_EQ(held.use_count(), 1);
}

// Time running out at the end of the process: every delay is over at once, in deadline order,
// also for calls scheduled afterwards; a repeating chain gets one last call.
TEST(SystemClockTest, RunningOutFiresEveryCallNowAndEndsRepeatingChains) {
    SystemClock clock;
    std::mutex mutex;
    std::vector<std::string> fired;
    DispatchSemaphore each;
    const auto record = [&](const char* name) {
        return [&, name] {
            {
                std::lock_guard lock(mutex);
                fired.push_back(name);
            }
            each.signal();
        };
    };
    std::function<void()> repeat = [&] {
        record("repeat")();
        clock.schedule(clock.now() + std::chrono::hours(1), repeat);
    };
    clock.schedule(clock.now() + std::chrono::hours(2), record("two hours"));
    clock.schedule(clock.now() + std::chrono::hours(1), record("an hour"));
    clock.schedule(clock.now() + std::chrono::minutes(90), repeat);

    clock.runOut();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(each.wait(seconds(20)));
    clock.schedule(clock.now() + std::chrono::hours(1), record("afterwards"));
    ASSERT_TRUE(each.wait(seconds(20)));
    clock.stop();
    std::lock_guard lock(mutex);
    EXPECT_EQ(fired, (std::vector<std::string>{"an hour", "repeat", "two hours", "afterwards"}));
}

// Delayed work on the manual clock: advancing posts the due items to their queues.
TEST(AsyncAfterTest, DelayedWorkRunsOnItsQueueWhenTheManualClockReachesIt) {
    ScopedManualClock manual;
    DispatchQueue queue = DispatchQueue::serial("delayed");
    std::vector<std::string> ran;
    queue.asyncAfter(seconds(5), [&] { ran.push_back("five:" + DispatchQueue::currentLabel()); });
    queue.asyncAfter(seconds(1), [&] { ran.push_back("one:" + DispatchQueue::currentLabel()); });
    EXPECT_EQ(manual.clock().pendingCount(), 2u);

    manual.clock().advance(milliseconds(999));
    queue.sync([] {});
    EXPECT_TRUE(ran.empty());

    manual.clock().advance(milliseconds(1));
    queue.sync([] {});
    EXPECT_EQ(ran, (std::vector<std::string>{"one:delayed"}));

    manual.clock().advance(seconds(10));
    queue.sync([] {});
    EXPECT_EQ(ran, (std::vector<std::string>{"one:delayed", "five:delayed"}));
}

TEST(AsyncAfterTest, MainQueueDelayedWorkWaitsForTheRunLoop) {
    ScopedManualClock manual;
    MainQueue::drain();
    int ran = 0;
    DispatchQueue::main().asyncAfter(seconds(2), [&] { ++ran; });
    DispatchQueue::main().asyncAfter(Clock::Duration::zero(), [&] { ran += 10; });  // plain async
    EXPECT_EQ(ran, 0);                                                              // never inline
    EXPECT_EQ(MainQueue::drain(), 1u);
    EXPECT_EQ(ran, 10);
    manual.clock().advance(seconds(2));
    EXPECT_EQ(ran, 10);  // posted, not run by the advance itself
    EXPECT_EQ(MainQueue::drain(), 1u);
    EXPECT_EQ(ran, 11);
}

TEST(AsyncAfterTest, QueueDroppedBeforeItsDelayedWorkStillRunsIt) {
    ScopedManualClock manual;
    DispatchSemaphore ran;
    DispatchQueue::serial("short.lived").asyncAfter(seconds(1), [&] { ran.signal(); });
    manual.clock().advance(seconds(1));
    EXPECT_TRUE(ran.wait(seconds(20)));
}

}  // namespace
}  // namespace pex
