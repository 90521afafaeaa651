#include "crashreporter/runtime/CRSHex.h"

#include <openssl/sha.h>

#include <cstring>

#include "platform/foundation/Hex.h"

namespace pex {

std::uint8_t CRSHexCharToValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    return 255;
}

void CRSHexFromByte(std::uint8_t byte, char* out) {
    out[0] = hexDigit(byte >> 4);
    out[1] = hexDigit(byte);
}

void CRSSafeHexToString(const std::uint8_t* bytes, std::size_t length, char* out) {
    std::memset(out, 0, length * 2 + 1);
    for (std::size_t i = 0; i < length; ++i) CRSHexFromByte(bytes[i], out + 2 * i);
}

std::string CRSNSDataToNSString(std::span<const std::uint8_t> data) {
    std::string text(data.size() * 2 + 1, '\0');
    CRSSafeHexToString(data.data(), data.size(), text.data());
    text.pop_back();
    return text;
}

std::string CRSHashBytes(const void* bytes, std::size_t length) {
    std::uint8_t digest[SHA_DIGEST_LENGTH];
    SHA1(static_cast<const unsigned char*>(bytes), length, digest);
    return CRSNSDataToNSString(digest);
}

std::string CRSHashNSData(std::span<const std::uint8_t> data) {
    return CRSHashBytes(data.data(), data.size());
}

std::string CRSHashNSString(std::string_view text) {
    const std::string_view upToTerminator = text.substr(0, text.find('\0'));
    return CRSHashBytes(upToTerminator.data(), upToTerminator.size());
}

std::string CRS256HashBytes(const void* bytes, std::size_t length) {
    std::uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(static_cast<const unsigned char*>(bytes), length, digest);
    return CRSNSDataToNSString(digest);
}

std::string CRS256HashNSData(std::span<const std::uint8_t> data) {
    return CRS256HashBytes(data.data(), data.size());
}

}  // namespace pex
