#pragma once
// Intervals of the promise operators: seconds as a double, turned into the clock's
// nanoseconds with the product truncated to a whole number.
#include <cmath>
#include <cstdint>

#include "platform/foundation/Clock.h"

namespace pex {

inline Clock::Duration PRMNanosecondsOf(double seconds) {
    const double nanoseconds = std::trunc(seconds * 1e9);
    if (!(nanoseconds > 0)) return Clock::Duration::zero();
    constexpr double kLongest = 1e18;  // about 31 years; later deadlines would overflow
    if (nanoseconds >= kLongest) return Clock::Duration(static_cast<std::int64_t>(kLongest));
    return Clock::Duration(static_cast<std::int64_t>(nanoseconds));
}

}  // namespace pex
