#pragma once
// Hex and digest helpers. The byte-level ones are safe inside a signal handler; the ones
// returning strings allocate and are for start-up and report code.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pex {

// 0-15 for '0'-'9', 'a'-'f', 'A'-'F'; 255 for any other character.
std::uint8_t CRSHexCharToValue(char c);
// Two lowercase hex digits, high nibble first, into out[0] and out[1].
void CRSHexFromByte(std::uint8_t byte, char* out);
// Zeroes length * 2 + 1 bytes of `out`, then writes two digits per byte.
void CRSSafeHexToString(const std::uint8_t* bytes, std::size_t length, char* out);

// The bytes as lowercase hex text.
std::string CRSNSDataToNSString(std::span<const std::uint8_t> data);
// SHA-1 (40 hex digits) and SHA-256 (64 hex digits).
std::string CRSHashBytes(const void* bytes, std::size_t length);
std::string CRSHashNSData(std::span<const std::uint8_t> data);
std::string CRSHashNSString(std::string_view text);
std::string CRS256HashBytes(const void* bytes, std::size_t length);
std::string CRS256HashNSData(std::span<const std::uint8_t> data);

}  // namespace pex
