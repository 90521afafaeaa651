#pragma once
// A processing format of audio samples: 32-bit float, non-interleaved, at a rate and channel
// count. (The only sample kind the application processes in.)
#include <cstdint>

namespace pex {

struct AudioFormat {
    double sampleRate = 16000.0;
    std::uint32_t channelCount = 1;

    bool operator==(const AudioFormat&) const = default;
};

}  // namespace pex
