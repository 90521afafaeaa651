#pragma once
// The property-list epoch, 2001-01-01 00:00:00 UTC. Archived dates, heartbeat days and the
// settings caches count seconds from it, so every conversion goes through here.
#include <chrono>
#include <cstdint>

namespace pex {

struct ReferenceDate {
    // Whole seconds from 1970-01-01 to 2001-01-01, both UTC.
    static constexpr std::int64_t kSecondsSince1970 = 978307200;

    static double secondsSince(std::chrono::system_clock::time_point time) {
        return std::chrono::duration<double>(time.time_since_epoch()).count() -
               static_cast<double>(kSecondsSince1970);
    }
    // The wall clock now, as seconds since the reference date.
    static double secondsSinceNow() { return secondsSince(std::chrono::system_clock::now()); }
    static std::chrono::system_clock::time_point timePoint(double secondsSinceReferenceDate) {
        const std::chrono::duration<double> since1970(secondsSinceReferenceDate +
                                                      static_cast<double>(kSecondsSince1970));
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(since1970));
    }
};

}  // namespace pex
