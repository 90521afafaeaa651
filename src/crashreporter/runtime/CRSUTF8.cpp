#include "crashreporter/runtime/CRSUTF8.h"

namespace pex {

namespace {

bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

std::size_t CRSUTF8SequenceLength(const std::uint8_t* bytes, std::size_t available) {
    if (available == 0) return 0;
    const std::uint8_t lead = bytes[0];
    if (lead < 0x80) return 1;
    std::size_t length;
    std::uint8_t secondLow = 0x80;
    std::uint8_t secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondLow = 0xA0;   // overlong
        if (lead == 0xED) secondHigh = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondLow = 0x90;   // overlong
        if (lead == 0xF4) secondHigh = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (available < length) return 0;
    if (bytes[1] < secondLow || bytes[1] > secondHigh) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(bytes[i])) return 0;
    }
    return length;
}

bool CRSUTF8IsValid(const std::uint8_t* bytes, std::size_t length) {
    std::size_t at = 0;
    while (at < length) {
        const std::size_t sequence = CRSUTF8SequenceLength(bytes + at, length - at);
        if (sequence == 0) return false;
        at += sequence;
    }
    return true;
}

}  // namespace pex
