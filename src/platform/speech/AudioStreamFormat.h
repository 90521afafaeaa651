#pragma once
// The PCM layout of the audio written to a push stream. The default is what the recorder
// produces: 16 kHz, 16-bit, one channel.
#include <cstdint>

namespace pex {

struct AudioStreamFormat {
    std::uint32_t samplesPerSecond = 16000;
    std::uint32_t bitsPerSample = 16;
    std::uint32_t channels = 1;

    static AudioStreamFormat pcm(std::uint32_t samplesPerSecond, std::uint32_t bitsPerSample,
                                 std::uint32_t channels) {
        return AudioStreamFormat{samplesPerSecond, bitsPerSample, channels};
    }
    bool operator==(const AudioStreamFormat&) const = default;
};

}  // namespace pex
