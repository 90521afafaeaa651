#include "BeaconTransport/TXPLibrary/TXPClock.h"

#include <gtest/gtest.h>

#include "platform/foundation/KeyedArchive.h"

namespace pex {
namespace {

TEST(TXPClockTest, IsAfterComparesBootsFirstThenZonedWallTime) {
    struct Case {
        const char* name;
        TXPClock self;
        TXPClock other;
        bool after;
    };
    const Case cases[] = {
        {"later boot wins although its wall time is earlier",
         {1000, 0, 200, 5},
         {9000, 0, 100, 5},
         true},
        {"earlier boot loses although its wall time is later",
         {9000, 0, 100, 5},
         {1000, 0, 200, 5},
         false},
        {"same boot, later wall time", {2000, 0, 100, 5}, {1000, 0, 100, 5}, true},
        {"same boot, same instant", {1000, 0, 100, 5}, {1000, 0, 100, 5}, false},
        // Zone offsets are seconds: one hour east is 3,600,000 ms, not 3,600.
        {"same boot, zone offset counted in milliseconds",
         {1000, 3600, 100, 5},
         {1'000'000, 0, 100, 5},
         true},
        {"same boot, a second later beats a zone offset of one second less",
         {2000, 0, 100, 5},
         {1000, 1, 100, 5},
         false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.self.isAfter(c.other), c.after) << c.name;
}

TEST(TXPClockTest, ASnapshotInTheFutureDiffersFromNowOnlyInItsInstant) {
    TXPClock now = TXPClock::snapshot();
    TXPClock soon = TXPClock::clockSnapshotInTheFuture(0);
    TXPClock later = TXPClock::clockSnapshotInTheFuture(120'000);
    EXPECT_EQ(soon.kernelBootTime(), now.kernelBootTime());
    EXPECT_EQ(soon.timezoneOffsetSeconds(), now.timezoneOffsetSeconds());
    EXPECT_GE(soon.timeMillis(), now.timeMillis());
    EXPECT_GE(later.timeMillis() - now.timeMillis(), 120'000);
    EXPECT_LT(later.timeMillis() - now.timeMillis(), 130'000);
    EXPECT_TRUE(later.isAfter(now));
    EXPECT_FALSE(now.isAfter(later));
    EXPECT_GT(now.kernelBootTime(), 0);
    EXPECT_GT(now.uptime(), 0);
    EXPECT_EQ(now.uptimeMilliseconds(), now.uptime() / 1'000'000);
}

TEST(TXPClockTest, ClocksAreEqualFieldByFieldNotByHash) {
    TXPClock clock(1, 2, 3, 4);
    TXPClock reordered(3, 4, 1, 2);  // same values in other fields: the same exclusive-or hash
    EXPECT_EQ(clock.hash(), reordered.hash());
    EXPECT_FALSE(clock == reordered);
    EXPECT_EQ(clock, TXPClock(1, 2, 3, 4));
}

TEST(TXPClockTest, ArchivesRoundTripAndRefuseMissingFields) {
    TXPClock clock = TXPClock::snapshot();
    std::string bytes = KeyedArchive::archive(clock);
    auto decoded = KeyedArchive::unarchive<TXPClock>(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, clock);
    auto values = clock.encodeWithCoder();
    EXPECT_EQ(values.size(), 4u);
    EXPECT_TRUE(values.contains("TXPClockTimeMillis"));
    EXPECT_TRUE(values.contains("TXPClockTimezoneOffsetSeconds"));
    EXPECT_TRUE(values.contains("TXPClockKernelBootTime"));
    values.erase("TXPClockUptime");
    EXPECT_FALSE(TXPClock::decodeWithCoder(values));
}

}  // namespace
}  // namespace pex
