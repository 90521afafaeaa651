// The session clock on the manual clock: an hour of session time runs in milliseconds.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/MainQueue.h"
#include "service/TimerManager.h"

namespace pex {
namespace {

class SessionClock : public ::testing::Test {
  protected:
    SessionClock() { MainQueue::adoptCurrentThreadAsMain(); }
    ~SessionClock() override {
        clock().stop();
        clock().onTick = nullptr;
        clock().onBillingUpdate = nullptr;
        clock().onTokenRefresh = nullptr;
        MainQueue::drain();
    }

    static TimerManager& clock() { return TimerManager::shared(); }

    // Moves session time on second by second, running the main queue after each.
    void runSeconds(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            manual_.clock().advance(std::chrono::seconds(1));
            MainQueue::drain();
        }
    }

    // Records every callback as "tick N", "billing N" or "token N".
    void recordCallbacks() {
        clock().onTick = [this](std::int64_t s) { events_.push_back("tick " + std::to_string(s)); };
        clock().onBillingUpdate = [this] { events_.push_back("billing " + now()); };
        clock().onTokenRefresh = [this] { events_.push_back("token " + now()); };
    }
    std::vector<std::int64_t> secondsOf(const std::string& kind) const {
        std::vector<std::int64_t> seconds;
        for (const auto& event : events_) {
            if (event.rfind(kind + " ", 0) == 0)
                seconds.push_back(std::stoll(event.substr(kind.size() + 1)));
        }
        return seconds;
    }
    static std::string now() { return std::to_string(clock().elapsedSeconds); }

    ScopedManualClock manual_;
    std::vector<std::string> events_;
};

TEST_F(SessionClock, TicksEverySecondAndBillsEveryTenSeconds) {
    recordCallbacks();
    clock().start();
    runSeconds(35);
    EXPECT_EQ(secondsOf("billing"), (std::vector<std::int64_t>{10, 20, 30}));
    const auto ticks = secondsOf("tick");
    ASSERT_EQ(ticks.size(), 35u);
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i], std::int64_t(i) + 1);
    EXPECT_TRUE(secondsOf("token").empty());
    EXPECT_EQ(clock().elapsedSeconds, 35);
}

TEST_F(SessionClock, CallbacksRunInTheOrderTickBillingToken) {
    recordCallbacks();
    clock().start();
    runSeconds(480);
    ASSERT_GE(events_.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(events_.end() - 3, events_.end()),
              (std::vector<std::string>{"tick 480", "billing 480", "token 480"}));
}

TEST_F(SessionClock, AnHourWithATokenReplyMovesTheRefreshPoints) {
    recordCallbacks();
    // As the speech-token manager does when a reply with "duration" 300 arrives at second 100.
    clock().onTick = [this](std::int64_t s) {
        events_.push_back("tick " + std::to_string(s));
        if (s == 100) {
            clock().expiresTime = 300;
            clock().oldExpiresTime = clock().elapsedSeconds;
        }
    };
    clock().start();
    runSeconds(3600);
    std::vector<std::int64_t> expected;
    for (std::int64_t s = 400; s <= 3600; s += 300) expected.push_back(s);
    EXPECT_EQ(secondsOf("token"), expected);
    EXPECT_EQ(secondsOf("billing").size(), 360u);
    EXPECT_EQ(clock().elapsedSeconds, 3600);
}

TEST_F(SessionClock, DefaultPeriodAndAPeriodCountedFromALaterSecond) {
    recordCallbacks();
    clock().start();
    runSeconds(3);
    clock().expiresTime = 600;
    clock().oldExpiresTime = 3;
    runSeconds(1300);
    EXPECT_EQ(secondsOf("token"), (std::vector<std::int64_t>{603, 1203}));

    events_.clear();
    clock().start();
    runSeconds(1000);
    EXPECT_EQ(secondsOf("token"), (std::vector<std::int64_t>{480, 960}));
}

TEST_F(SessionClock, ALifetimeOfZeroOrLessNeverRefreshes) {
    for (const std::int64_t lifetime : {0, -1, -480}) {
        events_.clear();
        recordCallbacks();
        clock().start();
        clock().expiresTime = lifetime;
        runSeconds(20);
        EXPECT_TRUE(secondsOf("token").empty()) << lifetime;
        EXPECT_EQ(secondsOf("tick").size(), 20u) << lifetime;
        EXPECT_EQ(secondsOf("billing"), (std::vector<std::int64_t>{10, 20})) << lifetime;
    }
}

TEST_F(SessionClock, StartAndStopRestoreThePeriodAndKeepTheCallbacks) {
    recordCallbacks();
    clock().start();
    runSeconds(7);
    clock().expiresTime = 300;
    clock().oldExpiresTime = 7;

    clock().stop();
    EXPECT_FALSE(clock().isRunning());
    EXPECT_EQ(clock().elapsedSeconds, 0);
    EXPECT_EQ(clock().expiresTime, 480);
    EXPECT_EQ(clock().oldExpiresTime, 0);
    EXPECT_TRUE(clock().onTick && clock().onBillingUpdate && clock().onTokenRefresh);
    events_.clear();
    runSeconds(5);
    EXPECT_TRUE(events_.empty());

    clock().expiresTime = 300;
    clock().oldExpiresTime = 2;
    clock().start();
    EXPECT_EQ(clock().expiresTime, 480);
    EXPECT_EQ(clock().oldExpiresTime, 0);
    runSeconds(1);
    EXPECT_EQ(events_, (std::vector<std::string>{"tick 1"}));

    // A start while running begins again from zero with one timer.
    runSeconds(4);
    clock().start();
    events_.clear();
    runSeconds(2);
    EXPECT_EQ(events_, (std::vector<std::string>{"tick 1", "tick 2"}));
}

TEST_F(SessionClock, LogLinesAppearWithoutCallbacks) {
    clock().start();
    ::testing::internal::CaptureStdout();
    runSeconds(480);
    const std::string output = ::testing::internal::GetCapturedStdout();
    auto count = [&](const std::string& line) {
        std::size_t n = 0;
        for (auto at = output.find(line); at != std::string::npos; at = output.find(line, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("💰 执行计费刷新"), 48u);
    EXPECT_EQ(count("🔄 刷新微软 token"), 1u);
    EXPECT_EQ(clock().elapsedSeconds, 480);
}

TEST_F(SessionClock, CallbacksMayClearThemselvesOrStopTheClock) {
    // The callback lives on the heap (its captures exceed std::function's inline room) and
    // still uses them after clearing its own field, so a clock that ran the field in place
    // would read freed memory here.
    auto billings = std::make_shared<int>(0);
    clock().onBillingUpdate = [billings, label = std::string(64, 'b')] {
        clock().onBillingUpdate = nullptr;  // as failing billing does, inside its own call
        *billings += static_cast<int>(label.size() / 64);
    };
    clock().onTick = [](std::int64_t s) {
        if (s == 25) clock().stop();
    };
    int refreshes = 0;
    clock().onTokenRefresh = [&refreshes] { ++refreshes; };
    clock().start();
    clock().expiresTime = 25;
    runSeconds(60);
    EXPECT_EQ(*billings, 1);
    EXPECT_FALSE(clock().onBillingUpdate);
    // Stopped inside the 25th tick: that tick's token point is gone and nothing follows.
    EXPECT_EQ(refreshes, 0);
    EXPECT_FALSE(clock().isRunning());
    EXPECT_EQ(clock().elapsedSeconds, 0);
}

}  // namespace
}  // namespace pex
