#pragma once
// The platform's typed readings of a stored setting, as SDK code expects them: numbers and
// Booleans convert to each other, and a text is read the way the platform reads it ("1",
// "YES", "true" and "12" are true; "12" is 12; "0", "NO" and other texts are false or 0). An
// absent value, data, a date, an array or a dictionary read as 0 or false.
#include <cstdint>
#include <optional>

#include <nlohmann/json.hpp>

namespace pex {

class DefaultsValueReading {
  public:
    static bool boolValue(const std::optional<nlohmann::json>& stored);
    static std::int64_t integerValue(const std::optional<nlohmann::json>& stored);
    static double doubleValue(const std::optional<nlohmann::json>& stored);
};

}  // namespace pex
