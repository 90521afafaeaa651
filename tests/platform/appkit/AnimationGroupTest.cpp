#include "platform/appkit/AnimationGroup.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace pex {
namespace {

using std::chrono::milliseconds;

TEST(AnimationGroupTest, StepsFollowTheClockAndCompleteOnce) {
    ScopedManualClock clock;
    std::vector<double> steps;
    int completions = 0;
    auto group = AnimationGroup::run(
        milliseconds(200), [&](double fraction) { steps.push_back(fraction); },
        [&] { ++completions; });

    clock.clock().advance(milliseconds(100));
    ASSERT_TRUE(test::runMainUntil([&] { return !steps.empty(); }));
    EXPECT_NEAR(steps.front(), 0.5, 0.01);
    EXPECT_EQ(completions, 0);

    clock.clock().advance(milliseconds(150));
    ASSERT_TRUE(test::runMainUntil([&] { return completions == 1; }));
    EXPECT_DOUBLE_EQ(steps.back(), 1.0);
    EXPECT_FALSE(group->isRunning());
}

TEST(AnimationGroupTest, StopEndsWithoutCompletionAndFinishNowCompletesAtOnce) {
    ScopedManualClock clock;
    int completions = 0;
    auto stopped = AnimationGroup::run(milliseconds(200), nullptr, [&] { ++completions; });
    stopped->stop();
    clock.clock().advance(milliseconds(500));
    test::runMainUntil([] { return false; }, milliseconds(30));
    EXPECT_EQ(completions, 0);

    double last = 0;
    auto finished = AnimationGroup::run(
        milliseconds(200), [&](double fraction) { last = fraction; }, [&] { ++completions; });
    finished->finishNow();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(last, 1.0);
    finished->finishNow();
    EXPECT_EQ(completions, 1);
}

}  // namespace
}  // namespace pex
