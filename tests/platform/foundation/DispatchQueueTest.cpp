#include "platform/foundation/DispatchQueue.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/DispatchGroup.h"
#include "platform/foundation/MainQueue.h"

namespace pex {
namespace {

constexpr auto kGuard = std::chrono::seconds(20);  // only a hang guard, never a speed check

TEST(DispatchQueueTest, SerialQueueRunsInOrderOffTheCallerWithItsLabel) {
    DispatchQueue queue = DispatchQueue::serial("com.example.order");
    EXPECT_EQ(queue.label(), "com.example.order");
    EXPECT_EQ(queue.kind(), DispatchQueue::Kind::Serial);
    EXPECT_FALSE(queue.isCurrent());

    std::vector<int> order;
    std::vector<std::string> labels;
    std::atomic<bool> ranOnCaller{false};
    std::atomic<bool> sawCurrent{true};
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 50; ++i) {
        queue.async([&, i] {
            if (std::this_thread::get_id() == caller) ranOnCaller = true;
            if (!queue.isCurrent()) sawCurrent = false;
            order.push_back(i);
            labels.push_back(DispatchQueue::currentLabel());
        });
    }
    queue.sync([] {});  // everything submitted before has run

    std::vector<int> expected(50);
    for (int i = 0; i < 50; ++i) expected[i] = i;
    EXPECT_EQ(order, expected);
    EXPECT_EQ(labels, std::vector<std::string>(50, "com.example.order"));
    EXPECT_FALSE(ranOnCaller);
    EXPECT_TRUE(sawCurrent);
    EXPECT_EQ(DispatchQueue::currentLabel(), "main");  // the test body runs on the main thread
}

TEST(DispatchQueueTest, WorkQueuedFromAnItemRunsAfterIt) {
    DispatchQueue queue = DispatchQueue::serial("nested");
    std::vector<std::string> events;
    queue.async([&] {
        queue.async([&] { events.push_back("inner"); });
        events.push_back("outer-end");
    });
    DispatchSemaphore done;
    queue.async([&] { done.signal(); });
    ASSERT_TRUE(done.wait(kGuard));
    queue.sync([] {});
    EXPECT_EQ(events, (std::vector<std::string>{"outer-end", "inner"}));
}

TEST(DispatchQueueTest, SerialQueueNeverOverlapsAndKeepsEachProducersOrder) {
    DispatchQueue queue = DispatchQueue::serial("producers");
    std::atomic<int> active{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::vector<int>> seen(4);
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < 200; ++i) {
                queue.async([&, p, i] {
                    if (active.fetch_add(1) != 0) overlapped = true;
                    seen[p].push_back(i);
                    active.fetch_sub(1);
                });
            }
        });
    }
    for (auto& producer : producers) producer.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    for (const auto& values : seen) {
        ASSERT_EQ(values.size(), 200u);
        for (int i = 0; i < 200; ++i) EXPECT_EQ(values[i], i);
    }
}

TEST(DispatchQueueTest, SyncWaitsForTheWorkAndPassesOnItsException) {
    DispatchQueue queue = DispatchQueue::serial("sync");
    int value = 0;
    std::thread::id ranOn;
    queue.sync([&] {
        value = 42;
        ranOn = std::this_thread::get_id();
    });
    EXPECT_EQ(value, 42);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    queue.sync([&] { value = 7; });  // the queue still works afterwards
    EXPECT_EQ(value, 7);
}

// Two items that each wait for the other only finish when they really run side by side.
TEST(DispatchQueueTest, ConcurrentQueuesRunItemsSideBySide) {
    for (DispatchQueue queue :
         {DispatchQueue::concurrent("side.by.side"), DispatchQueue::global()}) {
        SCOPED_TRACE(queue.label());
        EXPECT_EQ(queue.kind(), DispatchQueue::Kind::Concurrent);
        DispatchSemaphore firstStarted, secondStarted;
        DispatchGroup group;
        std::atomic<bool> firstSawSecond{false}, secondSawFirst{false};
        group.async(queue, [&] {
            firstStarted.signal();
            firstSawSecond = secondStarted.wait(kGuard);
        });
        group.async(queue, [&] {
            secondStarted.signal();
            secondSawFirst = firstStarted.wait(kGuard);
        });
        ASSERT_TRUE(group.wait(kGuard));
        EXPECT_TRUE(firstSawSecond);
        EXPECT_TRUE(secondSawFirst);
    }
    EXPECT_EQ(DispatchQueue::global().label(), "global");
    EXPECT_TRUE(DispatchQueue::global() == DispatchQueue::global());
}

TEST(DispatchQueueTest, BarrierRunsAloneBetweenEarlierAndLaterItems) {
    DispatchQueue queue = DispatchQueue::concurrent("barrier");
    std::atomic<int> active{0};
    std::atomic<int> finishedBefore{0};
    std::atomic<bool> barrierDone{false};
    std::atomic<bool> barrierSawOthers{false};
    std::atomic<bool> laterRanEarly{false};
    DispatchGroup group;
    for (int i = 0; i < 8; ++i) {
        group.async(queue, [&] {
            active.fetch_add(1);
            std::this_thread::yield();
            finishedBefore.fetch_add(1);
            active.fetch_sub(1);
        });
    }
    group.enter();
    queue.asyncBarrier([&] {
        if (active.load() != 0 || finishedBefore.load() != 8) barrierSawOthers = true;
        std::this_thread::yield();
        if (active.load() != 0) barrierSawOthers = true;
        barrierDone = true;
        group.leave();
    });
    for (int i = 0; i < 8; ++i) {
        group.async(queue, [&] {
            active.fetch_add(1);
            if (!barrierDone) laterRanEarly = true;
            active.fetch_sub(1);
        });
    }
    ASSERT_TRUE(group.wait(kGuard));
    EXPECT_TRUE(barrierDone);
    EXPECT_FALSE(barrierSawOthers);
    EXPECT_FALSE(laterRanEarly);
}

TEST(DispatchQueueTest, CurrentLabelIsEmptyOnAPlainThread) {
    std::string label = "unset";
    std::thread([&] { label = DispatchQueue::currentLabel(); }).join();
    EXPECT_EQ(label, "");
}

// The queue's only handle lives in an object that its own first item destroys: the item after
// it, already submitted, still runs, and everything the queue held is released afterwards.
TEST(DispatchQueueTest, QueueDestroyedFromItsOwnWorkItemFinishesSubmittedWork) {
    struct Owner {
        DispatchQueue queue = DispatchQueue::serial("owned");
    };
    // Signals when the last item capturing it has been released.
    struct Released {
        explicit Released(DispatchSemaphore& semaphore) : semaphore(semaphore) {}
        ~Released() { semaphore.signal(); }
        DispatchSemaphore& semaphore;
    };
    DispatchSemaphore release, secondRan, capturesReleased;
    auto token = std::make_shared<Released>(capturesReleased);
    auto owner = std::make_unique<Owner>();
    std::atomic<bool> ownerGone{false};

    owner->queue.async([&, token] {
        release.wait(kGuard);
        owner.reset();  // drops the last handle from inside the queue's own work
        ownerGone = true;
    });
    owner->queue.async([&, token] {
        EXPECT_TRUE(ownerGone);
        EXPECT_EQ(DispatchQueue::currentLabel(), "owned");
        secondRan.signal();
    });
    token.reset();
    release.signal();
    ASSERT_TRUE(secondRan.wait(kGuard));
    EXPECT_EQ(owner, nullptr);
    EXPECT_TRUE(capturesReleased.wait(kGuard));
}

TEST(DispatchQueueTest, ItemHoldingItsOwnQueueReleasesItAfterRunning) {
    DispatchSemaphore ran;
    {
        DispatchQueue queue = DispatchQueue::serial("self.held");
        queue.async([queue, &ran] {
            EXPECT_TRUE(queue.isCurrent());
            ran.signal();
        });
    }
    EXPECT_TRUE(ran.wait(kGuard));
}

TEST(DispatchQueueTest, MainQueueWorkRunsOnTheMainThreadWhenTheRunLoopTurns) {
    DispatchQueue main = DispatchQueue::main();
    EXPECT_EQ(main.kind(), DispatchQueue::Kind::Main);
    EXPECT_EQ(main.label(), "main");
    std::atomic<bool> ranOnMain{false};
    std::string label;
    DispatchQueue::global().async([&] {
        main.async([&] {
            ranOnMain = MainQueue::isMainThread();
            label = DispatchQueue::currentLabel();
        });
    });
    ASSERT_TRUE(MainQueue::runUntil([&] { return ranOnMain.load(); }, kGuard));
    EXPECT_EQ(label, "main");

    // sync onto main from a background thread completes while the main thread runs its loop.
    std::atomic<bool> syncDone{false};
    bool ranInsideSync = false;
    std::thread background([&] {
        main.sync([&] { ranInsideSync = MainQueue::isMainThread(); });
        syncDone = true;
    });
    ASSERT_TRUE(MainQueue::runUntil([&] { return syncDone.load(); }, kGuard));
    background.join();
    EXPECT_TRUE(ranInsideSync);
}

TEST(DispatchQueueTest, SyncOnTheQueueFromItsOwnWorkFailsInsteadOfHanging) {
    DispatchQueue queue = DispatchQueue::serial("self.sync");
    try {
        queue.sync([&] { queue.sync([] {}); });
        FAIL() << "a sync on its own queue returned";
    } catch (const DispatchDeadlock& failure) {
        EXPECT_NE(std::string(failure.what()).find("\"self.sync\""), std::string::npos);
    }
    EXPECT_THROW(DispatchQueue::main().sync([] {}), DispatchDeadlock);
    // The queue is still usable afterwards.
    bool ran = false;
    queue.sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace pex
