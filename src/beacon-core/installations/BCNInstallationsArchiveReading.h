#pragma once
// Reading the installations' archived values: a missing key, or a value of another kind,
// decodes as absent (or 0).
#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/PropertyList.h"

namespace pex::BCNArchiveReading {

inline const PropertyList* entry(const PropertyList::Dictionary& values, const char* key) {
    auto found = values.find(key);
    return found == values.end() ? nullptr : &found->second;
}

inline std::int64_t integer(const PropertyList::Dictionary& values, const char* key) {
    const PropertyList* value = entry(values, key);
    const auto* number = value ? value->get<std::int64_t>() : nullptr;
    return number ? *number : 0;
}

inline std::optional<std::string> text(const PropertyList::Dictionary& values, const char* key) {
    const PropertyList* value = entry(values, key);
    const auto* string = value ? value->get<std::string>() : nullptr;
    return string ? std::optional<std::string>(*string) : std::nullopt;
}

inline std::optional<PropertyList::Date> date(const PropertyList::Dictionary& values,
                                              const char* key) {
    const PropertyList* value = entry(values, key);
    const auto* found = value ? value->get<PropertyList::Date>() : nullptr;
    return found ? std::optional<PropertyList::Date>(*found) : std::nullopt;
}

inline const PropertyList::Dictionary* dictionary(const PropertyList::Dictionary& values,
                                                  const char* key) {
    const PropertyList* value = entry(values, key);
    return value ? value->get<PropertyList::Dictionary>() : nullptr;
}

}  // namespace pex::BCNArchiveReading
