#pragma once
// The one capture format the recorder asks for: packed signed 16-bit little-endian PCM.
#include <cstdint>

namespace pex {

struct AudioCaptureFormat {
    double sampleRate = 16000.0;
    std::uint32_t channelsPerFrame = 1;
    std::uint32_t bitsPerChannel = 16;
    // Bytes the backend should hand over per read, when it can choose: 640 bytes is 20 ms.
    std::uint32_t bytesPerBuffer = 640;

    std::uint32_t bytesPerFrame() const { return channelsPerFrame * bitsPerChannel / 8; }
};

}  // namespace pex
