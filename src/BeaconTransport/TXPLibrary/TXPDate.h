#pragma once
// Dates of the transport (expiry of events and batches): wall-clock instants, stored in
// archives as property-list dates and in file names as whole seconds since 1970.
#include <chrono>
#include <cstdint>

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/ReferenceDate.h"

namespace pex {

using TXPDate = std::chrono::system_clock::time_point;

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
    return {ReferenceDate::secondsSince(date)};
}

inline TXPDate TXPDateFromPropertyList(PropertyList::Date date) {
    return ReferenceDate::timePoint(date.secondsSinceReferenceDate);
}

}  // namespace pex
