#include "sessions/SessionInitiator.h"

#include <gtest/gtest.h>

#include "SessionsTestSupport.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {

using namespace std::chrono_literals;

TEST(SessionInitiatorTest, TimeAwayCountsTheTimeTheMachineSlept) {
    ScopedManualClock scoped;
    ManualClock& clock = scoped.clock();
    test::FakeSettings settings;
    SessionInitiator initiator(settings);  // the process clock, as the component builds it
    int started = 0;
    initiator.setInitiateSessionStart([&] { ++started; });

    struct Step {
        const char* name;
        Clock::Duration awake;
        Clock::Duration asleep;
        int startedAfter;
    };
    const Step steps[] = {
        {"a night asleep in the background", 1min, 8h, 1},
        {"half an hour and a moment awake", 1800s + 1ms, 0s, 2},
        {"exactly the timeout, partly asleep", 1000s, 800s, 2},
        {"a short stay", 10s, 0s, 2},
    };
    for (const Step& step : steps) {
        initiator.appBackgrounded();
        clock.advance(step.awake);
        clock.suspend(step.asleep);
        initiator.appForegrounded();
        EXPECT_EQ(started, step.startedAfter) << step.name;
    }
}

TEST(SessionInitiatorTest, BecomingActiveBeforeEverLeavingStartsNothing) {
    ScopedManualClock scoped;
    test::FakeSettings settings;
    SessionInitiator initiator(settings);
    int started = 0;
    initiator.setInitiateSessionStart([&] { ++started; });
    scoped.clock().suspend(24h);
    initiator.appForegrounded();
    EXPECT_EQ(started, 0);
}

}  // namespace
}  // namespace pex
