#include "platform/foundation/DispatchTimer.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/MainQueue.h"

namespace pex {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class DispatchTimerTest : public ::testing::Test {
  protected:
    void SetUp() override { MainQueue::drain(); }
    // Lets the clock pass, then runs what it posted to the main queue.
    void pass(Clock::Duration time) {
        manual_.clock().advance(time);
        MainQueue::drain();
    }
    ManualClock& clock() { return manual_.clock(); }

  private:
    ScopedManualClock manual_;
};

TEST_F(DispatchTimerTest, RepeatsOnTheGridFromResume) {
    int fires = 0;
    DispatchTimer timer(DispatchQueue::main(), seconds(1), [&] { ++fires; });
    EXPECT_FALSE(timer.isRunning());
    pass(seconds(5));
    EXPECT_EQ(fires, 0);  // not before resume

    timer.resume();
    EXPECT_TRUE(timer.isRunning());
    pass(milliseconds(999));
    EXPECT_EQ(fires, 0);
    pass(milliseconds(1));
    EXPECT_EQ(fires, 1);
    pass(milliseconds(1500));  // 2.5 s: the 2 s tick only
    EXPECT_EQ(fires, 2);
    pass(milliseconds(500));  // 3 s: on the grid, no drift from the late look
    EXPECT_EQ(fires, 3);
    pass(seconds(4));  // every tick inside a long advance fires
    EXPECT_EQ(fires, 7);
}

TEST_F(DispatchTimerTest, NoHandlerRunsAfterCancelEvenIfAlreadyPosted) {
    int fires = 0;
    DispatchTimer timer(DispatchQueue::main(), seconds(1), [&] { ++fires; });
    timer.resume();
    clock().advance(seconds(1));  // posted to the main queue, not yet run
    timer.cancel();
    EXPECT_FALSE(timer.isRunning());
    MainQueue::drain();
    pass(seconds(10));
    EXPECT_EQ(fires, 0);
    EXPECT_EQ(clock().pendingCount(), 0u);
}

TEST_F(DispatchTimerTest, HandlerMayCancelItsOwnTimerAndResumeStartsANewGrid) {
    int fires = 0;
    std::unique_ptr<DispatchTimer> timer;
    timer = std::make_unique<DispatchTimer>(DispatchQueue::main(), seconds(2), [&] {
        if (++fires == 2) timer->cancel();
    });
    timer->resume();
    pass(seconds(10));
    EXPECT_EQ(fires, 2);

    pass(milliseconds(500));
    timer->resume();  // new grid from here: next tick 2 s later
    pass(milliseconds(1999));
    EXPECT_EQ(fires, 2);
    pass(milliseconds(1));
    EXPECT_EQ(fires, 3);
}

TEST_F(DispatchTimerTest, DestroyingTheTimerStopsIt) {
    int fires = 0;
    {
        DispatchTimer timer(DispatchQueue::main(), seconds(1), [&] { ++fires; });
        timer.resume();
        clock().advance(seconds(1));  // one handler run already posted
    }
    pass(seconds(5));
    EXPECT_EQ(fires, 0);
    EXPECT_EQ(clock().pendingCount(), 0u);
}

TEST_F(DispatchTimerTest, CancelWaitsForAHandlerRunningOnAnotherThread) {
    DispatchQueue queue = DispatchQueue::serial("timer.queue");
    std::atomic<bool> entered{false};
    std::atomic<bool> running{false};
    DispatchTimer timer(queue, seconds(1), [&] {
        running = true;
        entered = true;
        std::this_thread::sleep_for(milliseconds(50));
        running = false;
    });
    timer.resume();
    clock().advance(seconds(1));
    while (!entered) std::this_thread::yield();
    timer.cancel();
    EXPECT_FALSE(running.load());
}

TEST_F(DispatchTimerTest, HandlerRunsOnItsQueue) {
    DispatchQueue queue = DispatchQueue::serial("timer.queue");
    std::vector<std::string> labels;
    DispatchTimer timer(queue, milliseconds(100),
                        [&] { labels.push_back(DispatchQueue::currentLabel()); });
    timer.resume();
    clock().advance(milliseconds(300));
    queue.sync([] {});
    EXPECT_EQ(labels, std::vector<std::string>(3, "timer.queue"));
}

}  // namespace
}  // namespace pex
