#include "beacon-core/BCNTimestamp.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/Exception.h"

namespace pex {

namespace {

constexpr std::int64_t kMinSeconds = -62135596800;  // 0001-01-01T00:00:00Z
constexpr std::int64_t kMaxSeconds = 253402300799;  // 9999-12-31T23:59:59Z

}  // namespace

BCNTimestamp::BCNTimestamp(std::int64_t seconds, std::int32_t nanoseconds)
    : seconds_(seconds), nanoseconds_(nanoseconds) {
    if (nanoseconds < 0 || nanoseconds > 999999999)
        throw Exception("Invalid timestamp",
                        "Timestamp nanoseconds out of range: " + std::to_string(nanoseconds));
    if (seconds < kMinSeconds || seconds > kMaxSeconds)
        throw Exception("Invalid timestamp",
                        "Timestamp seconds out of range: " + std::to_string(seconds));
}

BCNTimestamp BCNTimestamp::timestamp() {
    return timestampWithDate(
        std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now()));
}

BCNTimestamp BCNTimestamp::timestampWithDate(Date date) {
    const auto sinceEpoch = date.time_since_epoch();
    // Floor, so a moment before 1970 has a whole part one lower and a positive fraction.
    const auto whole = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto fraction = sinceEpoch - whole;
    return BCNTimestamp(whole.count(), static_cast<std::int32_t>(fraction.count()));
}

BCNTimestamp BCNTimestamp::timestampWithTimeIntervalSince1970(double seconds) {
    double whole = 0;
    double fraction = std::modf(seconds, &whole);
    if (fraction < 0) {
        whole -= 1;
        fraction += 1;
    }
    return BCNTimestamp(static_cast<std::int64_t>(whole),
                        static_cast<std::int32_t>(fraction * 1e9));
}

BCNTimestamp::Date BCNTimestamp::dateValue() const {
    return Date(std::chrono::seconds(seconds_) + std::chrono::nanoseconds(nanoseconds_));
}

int BCNTimestamp::compare(const BCNTimestamp& other) const {
    const auto order = *this <=> other;
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::size_t BCNTimestamp::hash() const {
    const auto bits = static_cast<std::uint64_t>(seconds_);
    return static_cast<std::size_t>(
        (bits >> 32) ^ bits ^ static_cast<std::uint64_t>(static_cast<std::uint32_t>(nanoseconds_)));
}

std::string BCNTimestamp::description() const {
    return "<BCNTimestamp: seconds=" + std::to_string(seconds_) +
           " nanoseconds=" + std::to_string(nanoseconds_) + ">";
}

std::string BCNTimestamp::ISO8601String() const {
    const std::chrono::sys_seconds whole{std::chrono::seconds(seconds_)};
    const auto day = std::chrono::floor<std::chrono::days>(whole);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss time{whole - day};
    char text[64];
    const int length = std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
        static_cast<long>(time.seconds().count()));
    if (length != 19)
        throw Exception("Invalid ISO string", std::string("Invalid ISO string: ") + text);
    char nanos[16];
    std::snprintf(nanos, sizeof nanos, "%09d", nanoseconds_);
    return std::string(text) + "." + nanos + "Z";
}

}  // namespace pex
