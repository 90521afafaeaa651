#include "audio/VoiceFramePool.h"

namespace pex {

VoiceFramePool::Frame* VoiceFramePool::acquire() {
    {
        std::lock_guard lock(mutex_);
        if (!free_.empty()) {
            Frame* frame = free_.back().release();
            free_.pop_back();
            return frame;
        }
    }
    return new Frame();
}

void VoiceFramePool::release(Frame* frame) {
    std::unique_ptr<Frame> owned(frame);
    std::lock_guard lock(mutex_);
    if (free_.size() < kKeptFrames) {
        if (free_.capacity() < kKeptFrames) free_.reserve(kKeptFrames);
        free_.push_back(std::move(owned));
    }
}

}  // namespace pex
