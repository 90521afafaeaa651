#include "beacon-core/BCNTimestamp.h"

#include <gtest/gtest.h>

#include "platform/foundation/Exception.h"

namespace pex {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

TEST(BCNTimestampTest, RangesAreCheckedNanosecondsFirst) {
    struct Case {
        std::int64_t seconds;
        std::int32_t nanoseconds;
        const char* reason;  // none: valid
    };
    const Case cases[] = {
        {-62135596800, 0, nullptr},
        {253402300799, 999999999, nullptr},
        {0, 1000000000, "Timestamp nanoseconds out of range: 1000000000"},
        {0, -1, "Timestamp nanoseconds out of range: -1"},
        {253402300800, 0, "Timestamp seconds out of range: 253402300800"},
        {-62135596801, 0, "Timestamp seconds out of range: -62135596801"},
        {253402300800, -5, "Timestamp nanoseconds out of range: -5"},
    };
    for (const auto& c : cases) {
        if (!c.reason) {
            EXPECT_NO_THROW(BCNTimestamp(c.seconds, c.nanoseconds)) << c.seconds;
            continue;
        }
        try {
            BCNTimestamp(c.seconds, c.nanoseconds);
            ADD_FAILURE() << c.reason;
        } catch (const Exception& e) {
            EXPECT_EQ(e.name(), "Invalid timestamp");
            EXPECT_EQ(e.reason(), c.reason);
        }
    }
}

TEST(BCNTimestampTest, DatesBefore1970HaveAPositiveFraction) {
    const BCNTimestamp fromDate =
        BCNTimestamp::timestampWithDate(BCNTimestamp::Date(milliseconds(-250)));
    EXPECT_EQ(fromDate.seconds(), -1);
    EXPECT_EQ(fromDate.nanoseconds(), 750000000);
    const BCNTimestamp fromInterval = BCNTimestamp::timestampWithTimeIntervalSince1970(-0.25);
    EXPECT_EQ(fromInterval, fromDate);
    EXPECT_EQ(fromDate.dateValue(), BCNTimestamp::Date(milliseconds(-250)));
    const BCNTimestamp later = BCNTimestamp::timestampWithTimeIntervalSince1970(1.5);
    EXPECT_EQ(later.seconds(), 1);
    EXPECT_EQ(later.nanoseconds(), 500000000);
}

TEST(BCNTimestampTest, OrderEqualityAndHash) {
    const BCNTimestamp a(10, 5), b(10, 6), c(11, 0);
    EXPECT_EQ(a.compare(b), -1);
    EXPECT_EQ(b.compare(a), 1);
    EXPECT_EQ(b.compare(c), -1);
    EXPECT_EQ(a.compare(BCNTimestamp(10, 5)), 0);
    EXPECT_EQ(a, BCNTimestamp::timestampWithSeconds(10, 5));
    EXPECT_NE(a, b);
    EXPECT_EQ(a.hash(), BCNTimestamp(10, 5).hash());
    EXPECT_EQ(BCNTimestamp(std::int64_t{1} << 32, 3).hash(), ((std::size_t{1} << 32) ^ 1u ^ 3u));
}

TEST(BCNTimestampTest, Texts) {
    EXPECT_EQ(BCNTimestamp(1704164645, 6).ISO8601String(), "2024-01-02T03:04:05.000000006Z");
    EXPECT_EQ(BCNTimestamp(-62135596800, 0).ISO8601String(), "0001-01-01T00:00:00.000000000Z");
    EXPECT_EQ(BCNTimestamp(253402300799, 999999999).ISO8601String(),
              "9999-12-31T23:59:59.999999999Z");
    EXPECT_EQ(BCNTimestamp(-1, 750000000).ISO8601String(), "1969-12-31T23:59:59.750000000Z");
    EXPECT_EQ(BCNTimestamp(-5, 42).description(), "<BCNTimestamp: seconds=-5 nanoseconds=42>");
}

TEST(BCNTimestampTest, NowIsTheSystemTime) {
    const auto before = std::chrono::system_clock::now();
    const BCNTimestamp now = BCNTimestamp::timestamp();
    const auto after = std::chrono::system_clock::now();
    EXPECT_GE(now.dateValue(), std::chrono::time_point_cast<nanoseconds>(before));
    EXPECT_LE(now.dateValue(), std::chrono::time_point_cast<nanoseconds>(after));
}

}  // namespace
}  // namespace pex
