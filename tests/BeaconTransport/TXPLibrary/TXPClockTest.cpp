#include "BeaconTransport/TXPLibrary/TXPClock.h"

#include <gtest/gtest.h>

#include "platform/foundation/KeyedArchive.h"

namespace pex {
namespace {

TEST(TXPClockTest, IsAfterComparesBootsFirstThenWallTime) {
    constexpr std::int64_t kHour = 3'600'000'000'000;  // nanoseconds
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
        // A stored wait is an instant: moving to another zone neither shortens nor lengthens it.
        {"same boot, a zone far east does not make an earlier instant later",
         {1000, 14 * 3600, 100, 5},
         {2000, 0, 100, 5},
         false},
        {"same boot, a later instant is after whatever the zones",
         {2000, -12 * 3600, 100, 5},
         {1000, 0, 100, 5},
         true},
        // Setting the wall clock back an hour moves the kernel's boot time back as well; the
        // boot id shows it is the same boot, so the wall time decides.
        {"same boot id, boot time moved back by a clock change",
         {5000, 0, 100 - kHour, 5, 42},
         {4000, 0, 100, 5, 42},
         true},
        {"same boot id, boot time moved forward by a clock change",
         {4000, 0, 100 + kHour, 5, 42},
         {5000, 0, 100, 5, 42},
         false},
        {"different boot ids, the later boot wins",
         {1000, 0, 200, 5, 7},
         {9000, 0, 100, 5, 8},
         true},
        {"a clock without an id is judged by its boot time",
         {1000, 0, 200, 5, 7},
         {9000, 0, 200, 5},
         false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.self.isAfter(c.other), c.after) << c.name;
}

TEST(TXPClockTest, SnapshotsOfOneProcessShareTheirBoot) {
    TXPClock first = TXPClock::snapshot();
    TXPClock second = TXPClock::snapshot();
    EXPECT_NE(first.bootID(), 0u);
    EXPECT_EQ(first.bootID(), second.bootID());
    EXPECT_EQ(first.kernelBootTime(), second.kernelBootTime());
    EXPECT_GE(second.uptime(), first.uptime());
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
    EXPECT_EQ(values.size(), 5u);
    EXPECT_TRUE(values.contains("TXPClockBootID"));
    EXPECT_TRUE(values.contains("TXPClockTimeMillis"));
    EXPECT_TRUE(values.contains("TXPClockTimezoneOffsetSeconds"));
    EXPECT_TRUE(values.contains("TXPClockKernelBootTime"));
    // An archive written before boot ids were kept reads back with the boot unknown.
    values.erase("TXPClockBootID");
    auto older = TXPClock::decodeWithCoder(values);
    ASSERT_TRUE(older);
    EXPECT_EQ(older->bootID(), 0u);
    EXPECT_EQ(older->timeMillis(), clock.timeMillis());
    values.erase("TXPClockUptime");
    EXPECT_FALSE(TXPClock::decodeWithCoder(values));
}

}  // namespace
}  // namespace pex
