#pragma once
// What a PcmVoiceRecorder tells its owner. `voiceRecorded` runs on the capture thread and must be
// quick; the other three arrive on the main queue.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/audiotoolbox/AudioQueueError.h"

namespace pex {

inline constexpr std::size_t kVoiceFrameBytes = 640;  // 320 samples of 16-bit mono: 20 ms
using VoiceFrame = std::span<const std::uint8_t, kVoiceFrameBytes>;

class PcmVoiceRecorderDelegate {
  public:
    virtual ~PcmVoiceRecorderDelegate() = default;
    virtual void recorderDidStart() = 0;
    virtual void recorderDidStop() = 0;
    // One whole frame; the bytes are valid only during the call.
    virtual void voiceRecorded(VoiceFrame frame) = 0;
    // Capture could not start, or died while recording.
    virtual void voiceDidFail(const std::optional<AudioQueueError>& error) = 0;
};

}  // namespace pex
