#pragma once
// What one channel of a device offers for volume, mute and play-through.
#include <optional>

namespace pex {

struct VolumeInfo {
    std::optional<float> volume;  // absent when it cannot be read
    bool hasVolume = false;
    bool canSetVolume = false;
    bool canMute = false;
    bool isMuted = false;
    bool canPlayThru = false;
    bool isPlayThruSet = false;

    bool operator==(const VolumeInfo&) const = default;
};

}  // namespace pex
