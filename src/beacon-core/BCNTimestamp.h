#pragma once
// An immutable point in time with nanosecond precision, from 0001-01-01T00:00:00Z to
// 9999-12-31T23:59:59.999999999Z. Values outside that range raise "Invalid timestamp".
#include <chrono>
#include <compare>
#include <cstdint>
#include <string>

namespace pex {

class BCNTimestamp {
  public:
    using Date = std::chrono::sys_time<std::chrono::nanoseconds>;

    static BCNTimestamp timestamp();  // now
    static BCNTimestamp timestampWithDate(Date date);
    // A date given as seconds since 1970 with a fraction.
    static BCNTimestamp timestampWithTimeIntervalSince1970(double seconds);
    static BCNTimestamp timestampWithSeconds(std::int64_t seconds, std::int32_t nanoseconds) {
        return BCNTimestamp(seconds, nanoseconds);
    }
    BCNTimestamp(std::int64_t seconds, std::int32_t nanoseconds);

    std::int64_t seconds() const { return seconds_; }
    std::int32_t nanoseconds() const { return nanoseconds_; }
    Date dateValue() const;
    // -1, 0 or 1, by seconds and then nanoseconds.
    int compare(const BCNTimestamp& other) const;
    bool operator==(const BCNTimestamp& other) const = default;
    std::strong_ordering operator<=>(const BCNTimestamp& other) const = default;
    std::size_t hash() const;
    std::string description() const;
    // "2024-01-02T03:04:05.000000006Z".
    std::string ISO8601String() const;

  private:
    std::int64_t seconds_;
    std::int32_t nanoseconds_;
};

}  // namespace pex
