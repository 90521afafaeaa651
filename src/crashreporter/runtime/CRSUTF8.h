#pragma once
// UTF-8 checks by plain byte loops, safe inside a signal handler.
#include <cstddef>
#include <cstdint>

namespace pex {

// The length (1-4) of the well-formed UTF-8 sequence at `bytes`, or 0 when the bytes there
// are not one (a stray continuation byte, an overlong form, a surrogate, a value above
// U+10FFFF, or a sequence cut off by `available`).
std::size_t CRSUTF8SequenceLength(const std::uint8_t* bytes, std::size_t available);

// True when every byte belongs to a well-formed sequence.
bool CRSUTF8IsValid(const std::uint8_t* bytes, std::size_t length);

}  // namespace pex
