#include "crashreporter/runtime/CRSUUID.h"

#include <sys/random.h>

#include <cctype>
#include <cstring>
#include <random>
#include <span>

#include "crashreporter/runtime/CRSHex.h"

namespace pex {

namespace {

constexpr std::size_t kUUIDTextLength = 36;

void fillRandom(std::uint8_t* bytes, std::size_t length) {
    std::size_t filled = 0;
    while (filled < length) {
        const ssize_t got = getrandom(bytes + filled, length - filled, 0);
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    if (filled < length) {
        std::random_device device;
        for (; filled < length; ++filled) bytes[filled] = static_cast<std::uint8_t>(device());
    }
}

}  // namespace

void CRSRedactUUID(char* text) {
    if (text == nullptr) return;
    for (char* open = std::strchr(text, '('); open != nullptr; open = std::strchr(open + 1, '(')) {
        const char* close = std::strchr(open + 1, ')');
        if (close == nullptr) return;
        if (close - open != static_cast<std::ptrdiff_t>(kUUIDTextLength + 1)) continue;
        for (char* c = open + 1; c < close; ++c) {
            if (*c != '-') *c = '*';
        }
        return;
    }
}

std::string CRSNormalizeUUID(std::string_view uuid) {
    std::string normal;
    normal.reserve(uuid.size());
    for (char c : uuid) {
        if (c != '-')
            normal.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return normal;
}

std::string CRSNewUUIDString() {
    std::uint8_t bytes[16];
    fillRandom(bytes, sizeof bytes);
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    const std::string hex = CRSUUIDBytesToHexString(bytes);
    std::string text;
    text.reserve(kUUIDTextLength);
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) text.push_back('-');
        text.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i]))));
    }
    return text;
}

std::string CRSGenerateNormalizedUUID() {
    return CRSNormalizeUUID(CRSNewUUIDString());
}

std::string CRSUUIDBytesToHexString(const std::uint8_t* bytes) {
    return CRSNSDataToNSString(std::span<const std::uint8_t>(bytes, 16));
}

}  // namespace pex
