#pragma once
// The audio input of a recogniser: a push stream.
#include <memory>

#include "platform/speech/PushAudioInputStream.h"

namespace pex {

class AudioConfiguration {
  public:
    static std::shared_ptr<AudioConfiguration> fromStreamInput(
        std::shared_ptr<PushAudioInputStream> stream) {
        return std::shared_ptr<AudioConfiguration>(new AudioConfiguration(std::move(stream)));
    }
    const std::shared_ptr<PushAudioInputStream>& stream() const { return stream_; }

  private:
    explicit AudioConfiguration(std::shared_ptr<PushAudioInputStream> stream)
        : stream_(std::move(stream)) {}
    std::shared_ptr<PushAudioInputStream> stream_;
};

}  // namespace pex
