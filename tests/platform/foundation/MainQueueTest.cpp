#include "platform/foundation/MainQueue.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/DispatchQueue.h"

namespace pex {
namespace {

constexpr auto kGuard = std::chrono::seconds(20);

class MainQueueTest : public ::testing::Test {
  protected:
    void SetUp() override { MainQueue::drain(); }
    void TearDown() override {
        MainQueue::setDriver(nullptr);
        MainQueue::drain();
    }
};

TEST_F(MainQueueTest, TestBodyRunsOnTheMainThread) {
    EXPECT_TRUE(MainQueue::isMainThread());
    bool onMain = true;
    std::thread([&] { onMain = MainQueue::isMainThread(); }).join();
    EXPECT_FALSE(onMain);
}

TEST_F(MainQueueTest, DrainRunsQueuedWorkAndWhatItQueuesInOrder) {
    std::vector<int> order;
    MainQueue::post([&] {
        order.push_back(1);
        MainQueue::post([&] { order.push_back(3); });
    });
    MainQueue::post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());  // posting never runs work inline
    EXPECT_EQ(MainQueue::drain(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(MainQueue::drain(), 0u);
}

TEST_F(MainQueueTest, RunUntilStopsAsSoonAsDoneAndReportsTimeouts) {
    int ran = 0;
    for (int i = 0; i < 3; ++i) MainQueue::post([&] { ++ran; });
    EXPECT_TRUE(MainQueue::runUntil([&] { return ran == 2; }, kGuard));
    EXPECT_EQ(ran, 2);  // the third is left for later
    EXPECT_FALSE(MainQueue::runUntil([] { return false; }, std::chrono::milliseconds(20)));
    EXPECT_EQ(ran, 3);
}

TEST_F(MainQueueTest, RunUntilSeesConditionsMetOnOtherThreads) {
    std::atomic<bool> flag{false};
    std::thread setter([&] { flag = true; });
    EXPECT_TRUE(MainQueue::runUntil([&] { return flag.load(); }, kGuard));
    setter.join();
}

TEST_F(MainQueueTest, RunReturnsWhenAnItemStops) {
    std::vector<int> order;
    DispatchQueue::global().async([&] {
        DispatchQueue::main().async([&] { order.push_back(1); });
        DispatchQueue::main().async([&] {
            order.push_back(2);
            MainQueue::stop();
        });
        DispatchQueue::main().async([&] { order.push_back(3); });
    });
    MainQueue::run();
    // The item after stop may or may not have been posted yet; it never ran inside run().
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    ASSERT_TRUE(MainQueue::runUntil([&] { return order.size() == 3; }, kGuard));
    EXPECT_EQ(order.back(), 3);
}

TEST_F(MainQueueTest, DriverTakesOverQueuedWorkInOrderAndCanBeRemoved) {
    std::vector<int> order;
    std::vector<MainQueue::Work> handed;
    MainQueue::post([&] { order.push_back(1); });
    MainQueue::setDriver([&](MainQueue::Work work) { handed.push_back(std::move(work)); });
    MainQueue::post([&] { order.push_back(2); });
    DispatchQueue::main().async([&] { order.push_back(3); });
    EXPECT_EQ(handed.size(), 3u);
    EXPECT_EQ(MainQueue::drain(), 0u);  // the run loop has nothing: the driver has it all
    for (auto& work : handed) work();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

    MainQueue::setDriver(nullptr);
    MainQueue::post([&] { order.push_back(4); });
    EXPECT_EQ(handed.size(), 3u);
    EXPECT_EQ(MainQueue::drain(), 1u);
    EXPECT_EQ(order.back(), 4);
}

#ifndef NDEBUG
TEST(MainQueueDeathTest, AssertMainThreadAbortsOffTheMainThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    assertMainThread("on the main thread");  // fine here
    EXPECT_DEATH(std::thread([] { assertMainThread("LoginView::refresh"); }).join(),
                 "LoginView::refresh must run on the main thread");
}
#endif

}  // namespace
}  // namespace pex
