// AudioDevice: volume, mute, play-through, stereo pair, virtual main volume and balance, and
// the subwoofer controls.
#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/PropertyAccess.h"

namespace pex {

namespace {

using namespace coreaudio;
using property::address;

AudioObjectPropertyAddress at(const char* selector, Scope scope, std::uint32_t channel = 0) {
    return address(selector, propertyScope(scope), channel);
}

// One control's settable answer, when the hardware gives one.
std::optional<bool> settable(AudioObjectID object, const AudioObjectPropertyAddress& control) {
    bool answer = false;
    if (isPropertySettable(object, control, answer) != status::ok) return std::nullopt;
    return answer;
}

// Converts through 'v2db' or 'db2v': the value goes in the buffer and comes back converted.
std::optional<float> convert(AudioObjectID object, const AudioObjectPropertyAddress& conversion,
                             float value) {
    if (!hasProperty(object, conversion)) return std::nullopt;
    std::uint32_t size = sizeof(value);
    if (getPropertyData(object, conversion, 0, nullptr, size, &value) != status::ok) {
        return std::nullopt;
    }
    return value;
}

// Subwoofer assignments: nothing for an absent value, the status is not reported.
template <typename T>
void assignIfPresent(AudioObjectID object, const char* selector, std::optional<T> value) {
    if (value) property::write(object, address(selector), *value);
}

}  // namespace

std::optional<VolumeInfo> AudioDevice::volumeInfo(std::uint32_t channel, Scope scope) {
    VolumeInfo info;
    bool anyRead = false;

    const auto volumeControl = at("volm", scope, channel);
    if (hasProperty(objectID(), volumeControl)) {
        if (const auto canSet = settable(objectID(), volumeControl)) {
            info.hasVolume = true;
            info.canSetVolume = *canSet;
            float value = 0;
            std::uint32_t size = sizeof(value);
            if (getPropertyData(objectID(), volumeControl, 0, nullptr, size, &value) ==
                status::ok) {
                info.volume = value;
                anyRead = true;
            }
        }
    }
    // Mute and play-through: a settable answer, then the value.
    auto readSwitch = [&](const char* selector, bool& canChange, bool& isOn) {
        const auto control = at(selector, scope, channel);
        if (!hasProperty(objectID(), control)) return;
        const auto canSet = settable(objectID(), control);
        if (!canSet) return;
        canChange = *canSet;
        std::uint32_t value = 0;
        std::uint32_t size = sizeof(value);
        if (getPropertyData(objectID(), control, 0, nullptr, size, &value) == status::ok) {
            isOn = value != 0;
            anyRead = true;
        }
    };
    readSwitch("mute", info.canMute, info.isMuted);
    readSwitch("thru", info.canPlayThru, info.isPlayThruSet);

    if (!anyRead) return std::nullopt;
    return info;
}

std::optional<float> AudioDevice::volume(std::uint32_t channel, Scope scope) {
    return property::readScalar<float>(objectID(), at("volm", scope, channel));
}

std::optional<float> AudioDevice::volumeInDecibels(std::uint32_t channel, Scope scope) {
    return property::readScalar<float>(objectID(), at("vold", scope, channel));
}

bool AudioDevice::setVolume(float volume, std::uint32_t channel, Scope scope) {
    return property::write(objectID(), at("volm", scope, channel), volume);
}

std::optional<bool> AudioDevice::isMuted(std::uint32_t channel, Scope scope) {
    const auto value = property::readScalar<std::uint32_t>(objectID(), at("mute", scope, channel));
    if (!value) return std::nullopt;
    return *value != 0;
}

bool AudioDevice::setMute(bool mute, std::uint32_t channel, Scope scope) {
    return property::write<std::uint32_t>(objectID(), at("mute", scope, channel), mute ? 1 : 0);
}

bool AudioDevice::canSetVolume(std::uint32_t channel, Scope scope) {
    const auto info = volumeInfo(channel, scope);
    return info && info->canSetVolume;
}

bool AudioDevice::canMute(std::uint32_t channel, Scope scope) {
    const auto info = volumeInfo(channel, scope);
    return info && info->canMute;
}

std::optional<float> AudioDevice::scalarToDecibels(float volume, std::uint32_t channel,
                                                   Scope scope) {
    return convert(objectID(), at("v2db", scope, channel), volume);
}

std::optional<float> AudioDevice::decibelsToScalar(float volume, std::uint32_t channel,
                                                   Scope scope) {
    return convert(objectID(), at("db2v", scope, channel), volume);
}

std::optional<bool> AudioDevice::isMainChannelMuted(Scope scope) {
    return isMuted(0, scope);
}

bool AudioDevice::canMuteMainChannel(Scope scope) {
    if (canMute(0, scope)) return true;
    const auto pair = preferredChannelsForStereo(scope);
    return pair && canMute(pair->left, scope) && canMute(pair->right, scope);
}

std::optional<StereoPair> AudioDevice::preferredChannelsForStereo(Scope scope) {
    const auto channels = property::readList<std::uint32_t>(objectID(), at("dch2", scope));
    if (!channels || channels->size() != 2) return std::nullopt;
    return StereoPair{channels->at(0), channels->at(1)};
}

bool AudioDevice::setPreferredChannelsForStereo(StereoPair channels, Scope scope) {
    const std::uint32_t pair[2] = {channels.left, channels.right};
    return property::write(objectID(), at("dch2", scope), pair);
}

bool AudioDevice::hasVirtualMainVolume(Scope scope) {
    return hasProperty(objectID(), at("vmvc", scope));
}

std::optional<float> AudioDevice::virtualMainVolume(Scope scope) {
    return property::readScalar<float>(objectID(), at("vmvc", scope));
}

bool AudioDevice::setVirtualMainVolume(float volume, Scope scope) {
    return property::write(objectID(), at("vmvc", scope), volume);
}

std::optional<float> AudioDevice::virtualMainVolumeInDecibels(Scope scope) {
    std::uint32_t reference = 0;
    if (!canSetVolume(0, scope)) {
        const auto pair = preferredChannelsForStereo(scope);
        if (!pair) return std::nullopt;
        reference = pair->left;
    }
    const auto volume = virtualMainVolume(scope);
    if (!volume) return std::nullopt;
    return scalarToDecibels(*volume, reference, scope);
}

bool AudioDevice::hasVirtualMainBalance(Scope scope) {
    return hasProperty(objectID(), at("vmbc", scope));
}

std::optional<float> AudioDevice::virtualMainBalance(Scope scope) {
    return property::readScalar<float>(objectID(), at("vmbc", scope));
}

bool AudioDevice::setVirtualMainBalance(float balance, Scope scope) {
    return property::write(objectID(), at("vmbc", scope), balance);
}

std::optional<bool> AudioDevice::shouldOwniSub() {
    const auto value = property::readScalar<std::uint32_t>(objectID(), address("isub"));
    if (!value) return std::nullopt;
    return *value != 0;
}

void AudioDevice::setShouldOwniSub(std::optional<bool> value) {
    assignIfPresent<std::uint32_t>(
        objectID(), "isub", value ? std::optional<std::uint32_t>(*value ? 1 : 0) : std::nullopt);
}

std::optional<bool> AudioDevice::lfeMute() {
    const auto value = property::readScalar<std::uint32_t>(objectID(), address("smut"));
    if (!value) return std::nullopt;
    return *value != 0;
}

void AudioDevice::setLfeMute(std::optional<bool> value) {
    assignIfPresent<std::uint32_t>(
        objectID(), "smut", value ? std::optional<std::uint32_t>(*value ? 1 : 0) : std::nullopt);
}

std::optional<float> AudioDevice::lfeVolume() {
    return property::readScalar<float>(objectID(), address("svlm"));
}

void AudioDevice::setLfeVolume(std::optional<float> value) {
    assignIfPresent(objectID(), "svlm", value);
}

std::optional<float> AudioDevice::lfeVolumeInDecibels() {
    return property::readScalar<float>(objectID(), address("svld"));
}

void AudioDevice::setLfeVolumeInDecibels(std::optional<float> value) {
    assignIfPresent(objectID(), "svld", value);
}

}  // namespace pex
