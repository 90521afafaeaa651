#include "sessions/Time.h"

#include <chrono>
#include <cmath>

namespace pex {

Time::Time(SecondsSince1970 now) : now_(std::move(now)) {
    if (!now_) {
        now_ = [] {
            using namespace std::chrono;
            return duration<double>(system_clock::now().time_since_epoch()).count();
        };
    }
}

std::uint64_t Time::eventTimestampMicros() const {
    return microsFromSeconds(now_());
}

std::uint64_t Time::microsFromSeconds(double secondsSince1970) {
    const double whole = std::trunc(secondsSince1970);
    // A clock before 1970 (or no number at all) stamps 0; beyond 64 bits of microseconds the
    // largest whole second that fits.
    if (!(whole >= 0)) return 0;
    if (whole > 18446744073709.0) return 18446744073709ull * 1'000'000u;
    return static_cast<std::uint64_t>(whole) * 1'000'000u;
}

}  // namespace pex
