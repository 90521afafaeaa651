#pragma once
// Turning moments into the texts the application stores and shows. Both helpers read and write
// dates in the POSIX locale and the Gregorian calendar whatever the user's own settings, and
// show them in the user's current time zone.
#include <string>
#include <string_view>

namespace pex {

// "yyMMdd_HHmmss" of the moment (seconds since 1970) in local time, such as "240305_070809";
// used in the names of a session's files. Empty for a moment that is not a finite number or
// lies outside the calendar the system can represent.
std::string currentTimeStampString(double secondsSince1970);

// Converts a service time text "yyyy-MM-dd'T'HH:mm:ss.SSSZ" (three digits of milliseconds, a
// zone written "+0800", "+08:00" or "Z") into `outputPattern` in local time, for example
// "yyyy-MM-dd HH:mm:ss". Empty when the input does not parse.
std::string dateFromISO8601String(std::string_view input, std::string_view outputPattern);

// The local date and time of the moment formatted with a date pattern (letters y M d H h m s S
// a E Z; text in single quotes and other characters are copied). Empty when out of range.
std::string formatLocalDate(double secondsSince1970, std::string_view pattern);

}  // namespace pex
