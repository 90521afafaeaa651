#pragma once
// The forgiving way of reading service JSON used by the `fromJSON` readers of the models: a key
// that is missing or null, or holds a value of the wrong kind, gives the empty text or 0, and
// reading never fails. Numbers and texts convert into each other where that makes sense.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace pex::lenient {

// The value under `key`, or null when `object` is not an object or lacks the key.
const nlohmann::json& field(const nlohmann::json& object, std::string_view key);

// Text of a value: a string as it is, a number as its decimal text, a Boolean as "true" or
// "false"; anything else (null, object, array) gives "".
std::string textValue(const nlohmann::json& value);

// Integer of a value: a number truncated towards zero, a string that holds a decimal number,
// a Boolean as 1 or 0; anything else gives 0. Values beyond the 64-bit range (and NaN, as 0)
// are clamped instead of overflowing.
std::int64_t integerValue(const nlohmann::json& value);

std::string text(const nlohmann::json& object, std::string_view key);
std::int64_t integer(const nlohmann::json& object, std::string_view key);

// Shared conversions, also used by the reply mapping.
std::optional<std::string> numberText(const nlohmann::json& number);
std::int64_t clampToInteger(double value);
// The integer a decimal text stands for ("42", "-7", "12.9" → 12, "1e3"), clamped; none when
// the text is not a decimal number (surrounding spaces are allowed).
std::optional<std::int64_t> parseIntegerText(std::string_view text);

}  // namespace pex::lenient
