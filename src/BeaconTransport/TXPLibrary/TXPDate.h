#pragma once
// Dates of the transport (expiry of events and batches): wall-clock instants, stored in
// archives as property-list dates and in file names as whole seconds since 1970.
#include <chrono>
#include <cstdint>

#include "platform/foundation/PropertyList.h"

namespace pex {

using TXPDate = std::chrono::system_clock::time_point;

inline constexpr double TXPSecondsFrom1970To2001 = 978307200.0;

inline TXPDate TXPDateNow() {
    return std::chrono::system_clock::now();
}

inline double TXPSecondsSince1970(TXPDate date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

inline TXPDate TXPDateFromSecondsSince1970(double seconds) {
    return TXPDate(
        std::chrono::duration_cast<TXPDate::duration>(std::chrono::duration<double>(seconds)));
}

inline PropertyList::Date TXPPropertyListDate(TXPDate date) {
    return {TXPSecondsSince1970(date) - TXPSecondsFrom1970To2001};
}

inline TXPDate TXPDateFromPropertyList(PropertyList::Date date) {
    return TXPDateFromSecondsSince1970(date.secondsSinceReferenceDate + TXPSecondsFrom1970To2001);
}

}  // namespace pex
