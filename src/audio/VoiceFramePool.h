#pragma once
// Recycled frame copies for the recording writes: the capture thread takes one, the write queue
// gives it back, so steady recording allocates no frame storage. The lock is held only to move
// a pointer.
#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/PcmVoiceRecorderDelegate.h"

namespace pex {

class VoiceFramePool {
  public:
    using Frame = std::array<std::uint8_t, kVoiceFrameBytes>;

    Frame* acquire();
    void release(Frame* frame);

  private:
    static constexpr std::size_t kKeptFrames = 512;  // about 10 s of backlog without allocating
    std::mutex mutex_;
    std::vector<std::unique_ptr<Frame>> free_;
};

}  // namespace pex
