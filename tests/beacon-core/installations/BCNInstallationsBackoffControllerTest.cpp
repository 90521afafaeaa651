#include "beacon-core/installations/BCNInstallationsBackoffController.h"

#include <chrono>

#include <gtest/gtest.h>

namespace pex {
namespace {

using namespace std::chrono_literals;
using Event = BCNInstallationsBackoffEvent;

// Requests are timed on the process's injectable clock.
class BCNInstallationsBackoffControllerTest : public ::testing::Test {
  protected:
    // Seconds until the controller allows a request again, found to the millisecond.
    double secondsRefused() {
        double waited = 0;
        while (!controller.isNextRequestAllowed()) {
            clock.clock().advance(1ms);
            waited += 0.001;
            if (waited > 200000) break;  // a hang guard, never reached
        }
        return waited;
    }

    ScopedManualClock clock;
    BCNInstallationsBackoffController controller;
};

TEST_F(BCNInstallationsBackoffControllerTest, ANewControllerAllowsRequests) {
    EXPECT_TRUE(controller.isNextRequestAllowed());
    EXPECT_FALSE(controller.lastEventData());
}

TEST_F(BCNInstallationsBackoffControllerTest, RecoverableErrorsWaitTwoToTheNSecondsPlusAFraction) {
    controller.registerEvent(Event::RecoverableError);
    EXPECT_FALSE(controller.isNextRequestAllowed());
    clock.clock().advance(1999ms);
    EXPECT_FALSE(controller.isNextRequestAllowed());
    clock.clock().advance(1000ms);
    EXPECT_TRUE(controller.isNextRequestAllowed());

    struct Case {
        int errorsInARow;
        double atLeast;
        double below;
    } cases[] = {{3, 8, 9}, {10, 1024, 1025}};
    for (const auto& c : cases) {
        BCNInstallationsBackoffController fresh;
        for (int i = 0; i < c.errorsInARow; ++i) fresh.registerEvent(Event::RecoverableError);
        const double interval = fresh.lastEventData()->backoffTimeInterval();
        EXPECT_GE(interval, c.atLeast) << c.errorsInARow;
        EXPECT_LT(interval, c.below) << c.errorsInARow;
        EXPECT_EQ(fresh.lastEventData()->eventCount(), c.errorsInARow);
    }
    for (int errors : {11, 12, 40}) {
        BCNInstallationsBackoffController fresh;
        for (int i = 0; i < errors; ++i) fresh.registerEvent(Event::RecoverableError);
        EXPECT_EQ(fresh.lastEventData()->backoffTimeInterval(), 1800.0) << errors;
    }
}

TEST_F(BCNInstallationsBackoffControllerTest, TheWaitIsMeasuredFromTheLatestError) {
    controller.registerEvent(Event::RecoverableError);
    controller.registerEvent(Event::RecoverableError);
    const double refused = secondsRefused();
    EXPECT_GE(refused, 4.0);
    EXPECT_LT(refused, 5.0);
}

TEST_F(BCNInstallationsBackoffControllerTest, AnUnrecoverableErrorWaitsADayUnlessReplaced) {
    controller.registerEvent(Event::UnrecoverableError);
    clock.clock().advance(24h - 1ms);
    EXPECT_FALSE(controller.isNextRequestAllowed());
    clock.clock().advance(1ms);
    EXPECT_TRUE(controller.isNextRequestAllowed());

    controller.registerEvent(Event::UnrecoverableError);
    EXPECT_EQ(controller.lastEventData()->eventCount(), 2);
    controller.registerEvent(Event::RecoverableError);  // another type starts a new run
    EXPECT_EQ(controller.lastEventData()->eventCount(), 1);
    EXPECT_LT(controller.lastEventData()->backoffTimeInterval(), 3.0);

    controller.registerEvent(Event::UnrecoverableError);
    controller.registerEvent(Event::Success);
    EXPECT_TRUE(controller.isNextRequestAllowed());
    controller.registerEvent(Event::RecoverableError);
    EXPECT_EQ(controller.lastEventData()->eventCount(), 1);
}

TEST(BCNInstallationsBackoffDateSourceTest, AGivenDateSourceIsTheOneAsked) {
    Clock::TimePoint now{};
    BCNInstallationsBackoffController controller([&now] { return now; });
    controller.registerEvent(Event::UnrecoverableError);
    EXPECT_FALSE(controller.isNextRequestAllowed());
    now += 24h;
    EXPECT_TRUE(controller.isNextRequestAllowed());
}

TEST(BCNInstallationsBackoffEventDataTest, IntervalsByEventAndTheRandomFraction) {
    EXPECT_EQ(BCNInstallationsBackoffEventData::backoffTimeIntervalWithEvent(Event::Success, 5), 0);
    EXPECT_EQ(BCNInstallationsBackoffEventData::backoffTimeIntervalWithEvent(
                  Event::UnrecoverableError, 1),
              86400);
    EXPECT_EQ(
        BCNInstallationsBackoffEventData::backoffTimeIntervalWithEvent(static_cast<Event>(7), 1),
        0);
    bool sawNonZero = false;
    for (int i = 0; i < 1000; ++i) {
        const double r = BCNInstallationsBackoffEventData::randomMilliseconds();
        ASSERT_GE(r, 0.0);
        ASSERT_LE(r, 0.999);
        sawNonZero |= r > 0;
    }
    EXPECT_TRUE(sawNonZero);
}

}  // namespace
}  // namespace pex
