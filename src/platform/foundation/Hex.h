#pragma once
// Hex digits for identifiers, digests and percent escapes. hexDigit is safe inside a signal
// handler; hexString allocates.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pex {

enum class HexCase { Lower, Upper };

// The digit for the low four bits of `value`.
constexpr char hexDigit(unsigned value, HexCase letterCase = HexCase::Lower) {
    constexpr char kLower[] = "0123456789abcdef";
    constexpr char kUpper[] = "0123456789ABCDEF";
    return (letterCase == HexCase::Upper ? kUpper : kLower)[value & 0xF];
}

// Two digits per byte, high nibble first.
inline std::string hexString(std::span<const std::uint8_t> bytes,
                             HexCase letterCase = HexCase::Lower) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text += hexDigit(byte >> 4, letterCase);
        text += hexDigit(byte, letterCase);
    }
    return text;
}

inline std::string hexString(std::string_view bytes, HexCase letterCase = HexCase::Lower) {
    return hexString(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                     letterCase);
}

}  // namespace pex
