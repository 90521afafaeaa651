// Time stamps and the conversion of service time texts, in a fixed local time zone.
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/DateHelpers.h"

namespace pex {
namespace {

// Sets the process time zone for one test and puts the previous one back. POSIX zone texts
// need no time-zone database: "UTC-8" is eight hours east of UTC.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::optional<std::string> previous_;
};

// 2024-03-04 23:08:09 UTC, which is 2024-03-05 07:08:09 at UTC+8.
constexpr double kMoment = 1709593689.0;

TEST(TimeStamp, IsThirteenCharactersOfLocalTime) {
    ScopedTimeZone zone("UTC-8");
    EXPECT_EQ(currentTimeStampString(kMoment), "240305_070809");
    EXPECT_EQ(currentTimeStampString(kMoment + 0.999), "240305_070809");
    {
        ScopedTimeZone utc("UTC0");
        EXPECT_EQ(currentTimeStampString(kMoment), "240304_230809");
        EXPECT_EQ(currentTimeStampString(-1), "691231_235959");
        EXPECT_EQ(currentTimeStampString(4102444800.0), "000101_000000");  // the year 2100
    }
    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300}) {
        EXPECT_EQ(currentTimeStampString(bad), "") << bad;
    }
}

TEST(ServiceTimeText, ConvertsToLocalTimeWhateverZoneIsWritten) {
    ScopedTimeZone zone("UTC-8");
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"2024-03-05T07:08:09.123+0800", "2024-03-05 07:08:09"},
        {"2024-03-04T23:08:09.000Z", "2024-03-05 07:08:09"},
        {"2024-03-04T23:08:09.000+0000", "2024-03-05 07:08:09"},
        {"2024-03-04T23:08:09.000+00:00", "2024-03-05 07:08:09"},
        {"2024-03-04T18:08:09.999-0500", "2024-03-05 07:08:09"},
        {"2024-03-05T01:38:09.000+0230", "2024-03-05 07:08:09"},
        {"2024-02-29T16:00:00.000Z", "2024-03-01 00:00:00"},  // leap day rolls over
        {"1999-12-31T16:00:00.000Z", "2000-01-01 00:00:00"},
        // Not the service's form: the empty text.
        {"2024-03-05T07:08:09+0800", ""},  // no milliseconds
        {"2024-03-05T07:08:09.12+0800", ""},
        {"2024-03-05T07:08:09.123", ""},  // no zone
        {"2024-03-05 07:08:09.123+0800", ""},
        {"2024-02-30T00:00:00.000Z", ""},
        {"2023-02-29T00:00:00.000Z", ""},
        {"2024-13-01T00:00:00.000Z", ""},
        {"2024-03-05T24:00:00.000Z", ""},
        {"2024-03-05T07:60:00.000Z", ""},
        {"2024-03-05T07:08:09.123+2400", ""},
        {"2024-03-05T07:08:09.123+0800 ", ""},
        {"2024-03-05T07:08:09.123Zjunk", ""},
        {"", ""},
        {"yesterday", ""},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(dateFromISO8601String(input, "yyyy-MM-dd HH:mm:ss"), expected) << input;
    }
}

TEST(ServiceTimeText, OutputPatternsUseThePosixNames) {
    ScopedTimeZone zone("UTC-8");
    const char* input = "2024-03-04T23:08:09.123Z";
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"yyyy/MM/dd HH:mm:ss.SSS Z", "2024/03/05 07:08:09.123 +0800"},
        {"'at' h a, EEE d MMM yy", "at 7 AM, Tue 5 Mar 24"},
        {"EEEE d MMMM y, 'o''clock' H", "Tuesday 5 March 2024, o'clock 7"},
        {"yyMMdd_HHmmss", "240305_070809"},
        {"", ""},
    };
    for (const auto& [pattern, expected] : cases) {
        EXPECT_EQ(dateFromISO8601String(input, pattern), expected) << pattern;
    }
    ScopedTimeZone west("UTC+5");
    EXPECT_EQ(dateFromISO8601String(input, "yyyy-MM-dd HH:mm Z"), "2024-03-04 18:08 -0500");
}

}  // namespace
}  // namespace pex
