#pragma once
// Input level of the most recent buffer, in decibels relative to full scale (0 dBFS is the
// loudest a 16-bit sample can be; digital silence reads kSilenceDecibels).
#include <cstdint>
#include <span>

namespace pex {

struct AudioLevel {
    static constexpr float kSilenceDecibels = -120.0f;

    float averagePower = kSilenceDecibels;  // mean power of the samples
    float peakPower = kSilenceDecibels;     // the loudest sample

    // Measures signed 16-bit little-endian samples; a trailing odd byte is ignored.
    static AudioLevel measure(std::span<const std::uint8_t> pcm16);
};

}  // namespace pex
