#pragma once
// Writes a property list in the binary format ("bplist00") in one pass over the value. The
// library's writer builds and indexes a node tree first, which cost more than everything else
// of storing a telemetry event; reading still goes through the library.
#include <cstdint>
#include <string>

#include "platform/foundation/PropertyList.h"

namespace pex {

// A date as the formats keep it: whole seconds that fit 32 bits (a date beyond them, read
// from a damaged file say, is held at the edge) and microseconds.
struct PropertyListDateParts {
    std::int32_t seconds = 0;
    std::int32_t microseconds = 0;
};
PropertyListDateParts propertyListDateParts(const PropertyList::Date& date);

// Texts and keys end at a NUL byte, as the library's writers end them.
std::string binaryPropertyList(const PropertyList& value);

}  // namespace pex
