#include "platform/foundation/NotificationCenter.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(NotificationCenterTest, DeliversNameSenderAndUserInfoInOrderOfObservers) {
    NotificationCenter centre;
    int sender = 0;
    std::vector<std::string> calls;
    Notification received;
    centre.addObserver("AiSettingNotification", nullptr, [&](const Notification& n) {
        calls.push_back("first");
        received = n;
    });
    centre.addObserver("AiSettingNotification", nullptr,
                       [&](const Notification&) { calls.push_back("second"); });
    centre.addObserver("Other", nullptr, [&](const Notification&) { calls.push_back("other"); });

    centre.post("AiSettingNotification", &sender, {{"message", "打开设置"}});
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(received.name, "AiSettingNotification");
    EXPECT_EQ(received.sender, &sender);
    EXPECT_EQ(received.userInfo, (nlohmann::json{{"message", "打开设置"}}));

    centre.post("AiSettingNotification");
    EXPECT_EQ(received.sender, nullptr);
    EXPECT_TRUE(received.userInfo.is_null());
    centre.post("Nobody listens");  // harmless
}

TEST(NotificationCenterTest, ObserverWithASenderHearsOnlyThatSender) {
    int a = 0, b = 0;
    struct Case {
        const void* observed;
        const void* posted;
        bool delivered;
    };
    const Case cases[] = {
        {nullptr, nullptr, true}, {nullptr, &a, true},  {&a, &a, true},
        {&a, &b, false},          {&a, nullptr, false},
    };
    for (const Case& c : cases) {
        NotificationCenter centre;
        bool delivered = false;
        centre.addObserver("N", c.observed, [&](const Notification&) { delivered = true; });
        centre.post("N", c.posted);
        EXPECT_EQ(delivered, c.delivered) << "observed " << c.observed << " posted " << c.posted;
    }
}

TEST(NotificationCenterTest, RemovedObserversAreNotCalled) {
    NotificationCenter centre;
    int calls = 0;
    const auto id = centre.addObserver("N", nullptr, [&](const Notification&) { ++calls; });
    centre.post("N");
    centre.removeObserver(id);
    centre.removeObserver(id);  // twice is harmless
    centre.post("N");
    EXPECT_EQ(calls, 1);

    {
        ScopedObserver scoped(
            centre, centre.addObserver("N", nullptr, [&](const Notification&) { ++calls; }));
        ScopedObserver moved = std::move(scoped);
        centre.post("N");
        EXPECT_EQ(calls, 2);
    }
    centre.post("N");
    EXPECT_EQ(calls, 2);
}

TEST(NotificationCenterTest, ObserversChangedDuringAPostAreSafe) {
    NotificationCenter centre;
    std::vector<std::string> calls;
    NotificationCenter::ObserverId self = 0, second = 0;
    self = centre.addObserver("N", nullptr, [&](const Notification&) {
        calls.push_back("self-removing");
        centre.removeObserver(self);  // its own handler stays alive until it returns
        centre.removeObserver(second);
        centre.addObserver("N", nullptr, [&](const Notification&) { calls.push_back("late"); });
    });
    second =
        centre.addObserver("N", nullptr, [&](const Notification&) { calls.push_back("second"); });
    centre.post("N");
    EXPECT_EQ(calls, (std::vector<std::string>{"self-removing"}));
    centre.post("N");
    EXPECT_EQ(calls, (std::vector<std::string>{"self-removing", "late"}));
}

TEST(NotificationCenterTest, DeliversOnThePostersThreadAndToleratesConcurrentUse) {
    NotificationCenter centre;
    std::thread::id deliveredOn;
    centre.addObserver("Once", nullptr,
                       [&](const Notification&) { deliveredOn = std::this_thread::get_id(); });
    std::thread::id poster;
    std::thread([&] {
        poster = std::this_thread::get_id();
        centre.post("Once");
    }).join();
    EXPECT_EQ(deliveredOn, poster);

    std::atomic<int> delivered{0};
    const auto keeper =
        centre.addObserver("Busy", nullptr, [&](const Notification&) { ++delivered; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                auto id = centre.addObserver("Busy", nullptr, [](const Notification&) {});
                centre.post("Busy", nullptr, {{"i", i}});
                centre.removeObserver(id);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(delivered.load(), 800);
    centre.removeObserver(keeper);
}

// A delivery on another thread that is under way when the observer is removed has finished by
// the time `removeObserver` returns, so the observer's state may be destroyed next.
TEST(NotificationCenterTest, RemovalWaitsForADeliveryInFlightOnAnotherThread) {
    NotificationCenter centre;
    std::atomic<bool> entered{false};
    std::atomic<bool> running{false};
    std::atomic<int> calls{0};
    const auto id = centre.addObserver("N", nullptr, [&](const Notification&) {
        running = true;
        entered = true;
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        running = false;
    });
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop) centre.post("N");
    });
    while (!entered) std::this_thread::yield();
    centre.removeObserver(id);
    EXPECT_FALSE(running.load());
    const int callsAtRemoval = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    poster.join();
    EXPECT_EQ(calls.load(), callsAtRemoval);
}

TEST(NotificationCenterTest, DefaultCenterIsOneSharedInstance) {
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
    int calls = 0;
    ScopedObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver("PurchaseNotification", nullptr,
                                                        [&](const Notification&) { ++calls; }));
    NotificationCenter::defaultCenter().post("PurchaseNotification", nullptr,
                                             {{"message", "去充值"}});
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace pex
