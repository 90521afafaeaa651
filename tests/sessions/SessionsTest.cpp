#include "sessions/Sessions.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <deque>
#include <latch>
#include <thread>

#include <gtest/gtest.h>

#include "SessionsTestSupport.h"
#include "beacon-core/BCNComponentContainer.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using Kind = BeaconSessionsError::Kind;
using Name = SessionsSubscriberName;
using test::WireMessage;

class FakeSubscriber : public BCNSessionsSubscriber {
  public:
    FakeSubscriber(Name name, bool enabled) : name_(name), enabled_(enabled) {}
    bool isDataCollectionEnabled() const override {
        ++asked;
        return enabled_;
    }
    Name sessionsSubscriberName() const override { return name_; }
    void onSessionChanged(const BCNSessionDetails& session) override {
        std::lock_guard guard(lock_);
        seen_.push_back(session.sessionId());
    }
    std::vector<std::optional<std::string>> seen() const {
        std::lock_guard guard(lock_);
        return seen_;
    }

    // How often the component asked whether this subscriber collects data.
    mutable std::atomic<int> asked{0};

  private:
    const Name name_;
    const bool enabled_;
    mutable std::mutex lock_;
    std::vector<std::optional<std::string>> seen_;
};

class SessionsTest : public ::testing::Test {
  protected:
    std::unique_ptr<Sessions> make(std::set<Name> dependencies, bool collectEvents = true) {
        Sessions::Parts parts;
        parts.appID = "1:123:macos:abc";
        parts.coordinator = std::make_shared<SessionCoordinator>(installations, logger);
        parts.appInfo = app;
        parts.settings = settings;
        parts.collectEvents = collectEvents;
        parts.dependencies = std::move(dependencies);
        parts.currentTime = [this] { return now.load(); };
        parts.time = std::make_shared<test::FixedTime>();
        parts.resultObserver = [this](const SessionStartResult& result) {
            std::lock_guard guard(resultLock);
            results.push_back(result ? Outcome{false, result->kind} : Outcome{true});
            resultArrived.notify_all();
        };
        return std::make_unique<Sessions>(std::move(parts));
    }
    struct Outcome {
        bool success = false;
        Kind kind = Kind::NoDependenciesError;  // when not a success
    };
    // The next session start's result, waiting up to `wait` for it.
    std::optional<Outcome> nextResult(std::chrono::milliseconds wait = std::chrono::seconds(10)) {
        std::unique_lock guard(resultLock);
        if (!resultArrived.wait_for(guard, wait, [this] { return !results.empty(); }))
            return std::nullopt;
        const Outcome outcome = results.front();
        results.pop_front();
        return outcome;
    }
    static std::shared_ptr<FakeSubscriber> subscriber(Name name, bool enabled) {
        return std::make_shared<FakeSubscriber>(name, enabled);
    }
    WireMessage statusOf(std::size_t event) {
        return WireMessage(logger->events().at(event)->transportBytes()).message(2).message(6);
    }

    std::shared_ptr<test::FakeInstallations> installations =
        std::make_shared<test::FakeInstallations>();
    std::shared_ptr<test::RecordingLogger> logger = std::make_shared<test::RecordingLogger>();
    std::shared_ptr<test::FakeAppInfo> app = std::make_shared<test::FakeAppInfo>();
    std::shared_ptr<test::FakeSettings> settings = std::make_shared<test::FakeSettings>();
    std::atomic<Clock::TimePoint> now{Clock::TimePoint(std::chrono::hours(1))};
    std::mutex resultLock;
    std::condition_variable resultArrived;
    std::deque<Outcome> results;
};

TEST_F(SessionsTest, WithoutDeclaredSubscribersEveryStartEndsAtOnce) {
    auto sessions = make({});
    const auto first = nextResult(std::chrono::milliseconds(0));  // reported while building
    ASSERT_TRUE(first && !first->success);
    EXPECT_EQ(first->kind, Kind::NoDependenciesError);
    ASSERT_TRUE(sessions->currentSessionId());
    // Subscribers are still told the session.
    auto crash = subscriber(Name::CrashReporter, true);
    sessions->registerWithSubscriber(crash);
    EXPECT_EQ(crash->seen(),
              (std::vector<std::optional<std::string>>{sessions->currentSessionId()}));
    EXPECT_TRUE(logger->events().empty());
}

TEST_F(SessionsTest, ALateSubscriberGetsTheRunningSessionAndReleasesTheEvent) {
    auto sessions = make({Name::CrashReporter});
    const auto firstId = sessions->currentSessionId();
    EXPECT_FALSE(nextResult(std::chrono::milliseconds(100)));  // waiting for the subscriber
    auto crash = subscriber(Name::CrashReporter, true);
    sessions->registerWithSubscriber(crash);
    EXPECT_EQ(crash->seen(), (std::vector<std::optional<std::string>>{firstId}));
    const auto result = nextResult();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->success);
    ASSERT_EQ(logger->events().size(), 1u);
    EXPECT_EQ(WireMessage(logger->events()[0]->transportBytes()).message(2).bytes(1), *firstId);
    EXPECT_EQ(statusOf(0).number(2), 2u);  // crash reporter enabled
    EXPECT_EQ(statusOf(0).number(1), 1u);  // no performance SDK
    EXPECT_EQ(settings->updates, 1);
}

TEST_F(SessionsTest, ADeclaredSubscriberThatIsMissingHoldsTheEventBack) {
    auto sessions = make({Name::CrashReporter, Name::Performance});
    sessions->registerWithSubscriber(subscriber(Name::CrashReporter, true));
    EXPECT_FALSE(nextResult(std::chrono::milliseconds(200)));
    EXPECT_TRUE(logger->events().empty());
    // Once it is there, the event carries both states.
    sessions->registerWithSubscriber(subscriber(Name::Performance, false));
    const auto result = nextResult();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->success);
    EXPECT_EQ(statusOf(0).number(2), 2u);
    EXPECT_EQ(statusOf(0).number(1), 3u);
}

TEST_F(SessionsTest, AnEnabledPerformanceSubscriberSetsTheNetworkFields) {
    app->network = test::FakeNetworkInfo(1);
    auto sessions = make({Name::Performance});
    sessions->registerWithSubscriber(subscriber(Name::Performance, true));
    ASSERT_TRUE(nextResult());
    const WireMessage apple =
        WireMessage(logger->events().at(0)->transportBytes()).message(3).message(6);
    EXPECT_EQ(apple.message(3).number(1), 1u);
    EXPECT_EQ(apple.bytes(5), "");
    EXPECT_EQ(statusOf(0).number(1), 2u);
}

TEST_F(SessionsTest, CollectionSamplingAndSettingsStopTheStartInThatOrder) {
    struct Case {
        const char* name;
        bool collecting;
        bool sampledIn;
        bool enabled;
        Kind kind;
        int updates;
    };
    const Case cases[] = {
        {"all subscribers off", false, false, false, Kind::DataCollectionError, 0},
        {"sampled out and disabled", true, false, false, Kind::SessionSamplingError, 1},
        {"disabled", true, true, false, Kind::DisabledViaSettingsError, 1},
    };
    for (const Case& c : cases) {
        settings->enabled = c.enabled;
        settings->updates = 0;
        auto sessions = make({Name::CrashReporter}, c.sampledIn);
        sessions->registerWithSubscriber(subscriber(Name::CrashReporter, c.collecting));
        const auto result = nextResult();
        ASSERT_TRUE(result && !result->success) << c.name;
        EXPECT_EQ(result->kind, c.kind) << c.name;
        EXPECT_EQ(settings->updates, c.updates) << c.name;
    }
    EXPECT_TRUE(logger->events().empty());
}

TEST_F(SessionsTest, ComingBackAfterTheTimeoutStartsANewSessionForEveryone) {
    settings->rate = 0.5;
    auto sessions = make({Name::CrashReporter});
    auto crash = subscriber(Name::CrashReporter, true);
    sessions->registerWithSubscriber(crash);
    ASSERT_TRUE(nextResult());
    const auto firstId = sessions->currentSessionId();

    NotificationCenter& centre = NotificationCenter::defaultCenter();
    centre.post(kApplicationDidResignActiveNotification);
    now = now.load() + std::chrono::seconds(1800);
    centre.post(kApplicationDidBecomeActiveNotification);  // not longer than the timeout
    EXPECT_EQ(sessions->currentSessionId(), firstId);
    now = now.load() + std::chrono::seconds(1);
    centre.post(kApplicationDidBecomeActiveNotification);
    const auto secondId = sessions->currentSessionId();
    ASSERT_NE(secondId, firstId);
    ASSERT_TRUE(nextResult());
    ASSERT_EQ(logger->events().size(), 2u);
    const WireMessage second = WireMessage(logger->events()[1]->transportBytes()).message(2);
    EXPECT_EQ(second.bytes(1), *secondId);
    EXPECT_EQ(second.bytes(7), *firstId);
    EXPECT_EQ(second.number(8), 1u);
    EXPECT_EQ(std::bit_cast<double>(second.message(6).number(3)), 0.5);
    // The subscriber hears of the new session on the main queue.
    ASSERT_TRUE(test::runMainUntil([&] { return crash->seen().size() >= 2; }));
    EXPECT_EQ(crash->seen().back(), secondId);
}

TEST_F(SessionsTest, SubscribersMayRegisterWhileSessionsStart) {
    constexpr int kRounds = 5, kThreads = 8, kEach = 100;
    auto startAnotherSession = [&] {
        NotificationCenter::defaultCenter().post(kApplicationDidResignActiveNotification);
        now = now.load() + std::chrono::hours(1);
        NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
    };
    // Several rounds, each a fresh component: one round shows a missing lock only now and then.
    for (int round = 0; round < kRounds; ++round) {
        auto sessions = make({Name::CrashReporter});
        std::vector<std::shared_ptr<FakeSubscriber>> subscribers;
        for (int i = 0; i < kThreads * kEach; ++i)
            subscribers.push_back(subscriber(Name::CrashReporter, i % 2 == 0));
        std::latch start(kThreads + 1);
        std::vector<std::thread> registering;
        for (int t = 0; t < kThreads; ++t)
            registering.emplace_back([&, t] {
                start.arrive_and_wait();  // all at once, so registrations really overlap
                for (int i = 0; i < kEach; ++i)
                    sessions->registerWithSubscriber(subscribers[t * kEach + i]);
            });
        start.arrive_and_wait();
        for (int i = 0; i < 5; ++i) startAnotherSession();
        for (auto& thread : registering) thread.join();
        for (int i = 0; i < 6; ++i) ASSERT_TRUE(nextResult()) << round << ": " << i;

        // A registration lost to a race is never asked again: the next start asks them all.
        for (auto& one : subscribers) one->asked = 0;
        startAnotherSession();
        ASSERT_TRUE(nextResult()) << round;
        const auto neverAsked = std::count_if(subscribers.begin(), subscribers.end(),
                                              [](const auto& one) { return one->asked == 0; });
        ASSERT_EQ(neverAsked, 0) << round << ": subscribers missing from the table";
        ASSERT_EQ(logger->events().size(), 7u * (round + 1)) << round;
    }
}

TEST(SessionsComponentTest, TheComponentIsEagerAndBuiltOnlyForTheDefaultApp) {
    const auto components = Sessions::componentsToRegister();
    ASSERT_EQ(components.size(), 1u);
    EXPECT_EQ(components[0].protocol().name, "BCNSessionsProvider");
    EXPECT_EQ(components[0].instantiationTiming(), BCNInstantiationTimingAlwaysEager);
    BCNComponentContainer container(std::weak_ptr<BCNApp>(), false, {});
    bool cacheable = false;
    EXPECT_EQ(components[0].creationBlock()(container, cacheable), nullptr);
    EXPECT_FALSE(cacheable);
    EXPECT_EQ(Sessions::libraryClass().className, "BCNSessions");
}

TEST(SessionsSubscriberNameTest, NamesAndRawValues) {
    EXPECT_EQ(description(Name::CrashReporter), "CrashReporter");
    EXPECT_EQ(description(Name::Performance), "Performance");
    EXPECT_EQ(description(Name::Unknown), "Unknown");
    EXPECT_EQ(subscriberNameFromRawValue(1), Name::CrashReporter);
    EXPECT_FALSE(subscriberNameFromRawValue(3));
    EXPECT_FALSE(subscriberNameFromRawValue(-1));
}

}  // namespace
}  // namespace pex
