#include "service/DateHelpers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <optional>

namespace pex {

namespace {

constexpr const char* kMonthsShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kMonthsLong[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kWeekdaysShort[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kWeekdaysLong[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};

struct LocalMoment {
    std::tm fields{};
    int milliseconds = 0;
};

std::optional<LocalMoment> localMoment(double secondsSince1970) {
    if (!std::isfinite(secondsSince1970)) return std::nullopt;
    const double whole = std::floor(secondsSince1970);
    // Beyond this the year no longer fits the calendar fields.
    if (std::fabs(whole) > 6.7e15) return std::nullopt;
    const auto seconds = static_cast<std::time_t>(whole);
    LocalMoment moment;
    if (!localtime_r(&seconds, &moment.fields)) return std::nullopt;
    // Rounded: a double near 1.7e9 s carries the milliseconds only to a few ten-thousandths.
    moment.milliseconds =
        static_cast<int>(std::min(999L, std::lround((secondsSince1970 - whole) * 1000.0)));
    return moment;
}

std::string padded(long long value, std::size_t width) {
    const bool negative = value < 0;
    std::string digits = std::to_string(negative ? -value : value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

std::string zoneOffset(long offsetSeconds) {
    const char sign = offsetSeconds < 0 ? '-' : '+';
    const long minutes = std::labs(offsetSeconds) / 60;
    return sign + padded(minutes / 60, 2) + padded(minutes % 60, 2);
}

// One run of a pattern letter (such as "yyyy") in the local moment.
std::string field(char letter, std::size_t count, const LocalMoment& moment) {
    const std::tm& t = moment.fields;
    const long long year = static_cast<long long>(t.tm_year) + 1900;
    switch (letter) {
        case 'y':
            if (count == 2) return padded(((year % 100) + 100) % 100, 2);
            return padded(year, count);
        case 'M':
            if (count == 3) return kMonthsShort[t.tm_mon];
            if (count >= 4) return kMonthsLong[t.tm_mon];
            return padded(t.tm_mon + 1, count);
        case 'd':
            return padded(t.tm_mday, count);
        case 'H':
            return padded(t.tm_hour, count);
        case 'h':
            return padded(t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12, count);
        case 'm':
            return padded(t.tm_min, count);
        case 's':
            return padded(t.tm_sec, count);
        case 'S': {
            // Fractional seconds: the leading digits of the milliseconds, zero-filled after.
            std::string digits = padded(moment.milliseconds, 3);
            digits.resize(count, '0');
            return digits;
        }
        case 'a':
            return t.tm_hour < 12 ? "AM" : "PM";
        case 'E':
            return count >= 4 ? kWeekdaysLong[t.tm_wday] : kWeekdaysShort[t.tm_wday];
        case 'Z':
            return zoneOffset(t.tm_gmtoff);
        default:
            return std::string(count, letter);
    }
}

bool isPatternLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string format(const LocalMoment& moment, std::string_view pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '\'') {
            // '' is a quote, inside quoted text too; 'text' is copied as it is.
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                out += '\'';
                i += 2;
                continue;
            }
            for (++i; i < pattern.size(); ++i) {
                if (pattern[i] != '\'') {
                    out += pattern[i];
                } else if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                    out += '\'';
                    ++i;
                } else {
                    break;
                }
            }
            ++i;  // the closing quote
        } else if (isPatternLetter(c)) {
            std::size_t count = 1;
            while (i + count < pattern.size() && pattern[i + count] == c) ++count;
            out += field(c, count, moment);
            i += count;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// Reads exactly `width` digits at `pos`.
std::optional<int> digits(std::string_view text, std::size_t& pos, std::size_t width) {
    if (pos + width > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    pos += width;
    return value;
}

bool literal(std::string_view text, std::size_t& pos, char expected) {
    if (pos >= text.size() || text[pos] != expected) return false;
    ++pos;
    return true;
}

// The zone at the end of the text as seconds east of UTC: "Z", "+HHMM" or "+HH:MM".
std::optional<long> zone(std::string_view text, std::size_t& pos) {
    if (literal(text, pos, 'Z')) return 0;
    if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
    const long sign = text[pos] == '-' ? -1 : 1;
    ++pos;
    const auto hours = digits(text, pos, 2);
    literal(text, pos, ':');
    const auto minutes = digits(text, pos, 2);
    if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
    return sign * (*hours * 3600L + *minutes * 60L);
}

// Seconds since 1970 of "yyyy-MM-dd'T'HH:mm:ss.SSSZ", Gregorian calendar.
std::optional<double> parseISO8601(std::string_view text) {
    std::size_t pos = 0;
    const auto year = digits(text, pos, 4);
    if (!year || !literal(text, pos, '-')) return std::nullopt;
    const auto month = digits(text, pos, 2);
    if (!month || !literal(text, pos, '-')) return std::nullopt;
    const auto day = digits(text, pos, 2);
    if (!day || !literal(text, pos, 'T')) return std::nullopt;
    const auto hour = digits(text, pos, 2);
    if (!hour || !literal(text, pos, ':')) return std::nullopt;
    const auto minute = digits(text, pos, 2);
    if (!minute || !literal(text, pos, ':')) return std::nullopt;
    const auto second = digits(text, pos, 2);
    if (!second || !literal(text, pos, '.')) return std::nullopt;
    const auto millis = digits(text, pos, 3);
    if (!millis) return std::nullopt;
    const auto offset = zone(text, pos);
    if (!offset || pos != text.size()) return std::nullopt;

    using namespace std::chrono;
    const year_month_day date{std::chrono::year(*year), std::chrono::month(unsigned(*month)),
                              std::chrono::day(unsigned(*day))};
    if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
    const auto days = sys_days(date).time_since_epoch().count();
    const double seconds = static_cast<double>(days) * 86400.0 + *hour * 3600.0 + *minute * 60.0 +
                           *second - static_cast<double>(*offset);
    return seconds + *millis / 1000.0;
}

}  // namespace

std::string formatLocalDate(double secondsSince1970, std::string_view pattern) {
    const auto moment = localMoment(secondsSince1970);
    return moment ? format(*moment, pattern) : std::string();
}

std::string currentTimeStampString(double secondsSince1970) {
    return formatLocalDate(secondsSince1970, "yyMMdd_HHmmss");
}

std::string dateFromISO8601String(std::string_view input, std::string_view outputPattern) {
    const auto seconds = parseISO8601(input);
    return seconds ? formatLocalDate(*seconds, outputPattern) : std::string();
}

}  // namespace pex
