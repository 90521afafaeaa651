#include "platform/foundation/ReferenceDate.h"

#include <gtest/gtest.h>

namespace pex {
namespace {

using namespace std::chrono;

TEST(ReferenceDateTest, SecondsCountFromTheFirstOfJanuary2001InUTC) {
    const sys_days reference = year{2001} / January / 1;
    EXPECT_EQ(ReferenceDate::secondsSince(reference), 0.0);
    EXPECT_EQ(ReferenceDate::secondsSince(reference + hours(24) + milliseconds(500)), 86400.5);
    EXPECT_EQ(ReferenceDate::secondsSince(sys_days(year{1970} / January / 1)),
              -double(ReferenceDate::kSecondsSince1970));
}

TEST(ReferenceDateTest, ATimePointComesBackFromItsSeconds) {
    const system_clock::time_point moment = sys_days(year{2024} / March / 9) + microseconds(1250);
    // A double keeps such a moment to well under a microsecond, not to the nanosecond.
    const auto error = ReferenceDate::timePoint(ReferenceDate::secondsSince(moment)) - moment;
    EXPECT_LT(abs(error), microseconds(1));
    EXPECT_EQ(ReferenceDate::timePoint(-1.5),
              sys_days(year{2001} / January / 1) - milliseconds(1500));
}

TEST(ReferenceDateTest, NowIsTheWallClock) {
    const double before = ReferenceDate::secondsSince(system_clock::now());
    const double now = ReferenceDate::secondsSinceNow();
    EXPECT_GE(now, before);
    EXPECT_LT(now - before, 60.0);
}

}  // namespace
}  // namespace pex
