#pragma once
// The entry point of the device model. Every facade shares the process's one AudioHardware:
// the first facade alive makes it (registering its listener and seeding the known devices) and
// the last one to go tears it down. Each operation is the AudioHardware's of the same name.
#include <memory>
#include <string>

#include "audio/device-model/AudioHardware.h"

namespace pex {

class AudioDeviceHub {
  public:
    using Devices = AudioHardware::Devices;

    AudioDeviceHub();
    ~AudioDeviceHub();
    AudioDeviceHub(const AudioDeviceHub&) = delete;
    AudioDeviceHub& operator=(const AudioDeviceHub&) = delete;

    static std::shared_ptr<AudioHardware> sharedHardware();
    static int liveInstanceCount();

    const std::shared_ptr<AudioHardware>& hardware() const { return hardware_; }

    std::vector<coreaudio::AudioObjectID> allDeviceIDs() { return hardware_->allDeviceIDs(); }
    Devices allDevices() { return hardware_->allDevices(); }
    Devices allInputDevices() { return hardware_->allInputDevices(); }
    Devices allOutputDevices() { return hardware_->allOutputDevices(); }
    Devices allIODevices() { return hardware_->allIODevices(); }
    Devices allNonAggregateDevices() { return hardware_->allNonAggregateDevices(); }
    Devices allAggregateDevices() { return hardware_->allAggregateDevices(); }
    std::shared_ptr<AudioDevice> defaultInputDevice() { return hardware_->defaultInputDevice(); }
    std::shared_ptr<AudioDevice> defaultOutputDevice() { return hardware_->defaultOutputDevice(); }
    std::shared_ptr<AudioDevice> defaultSystemOutputDevice() {
        return hardware_->defaultSystemOutputDevice();
    }
    std::shared_ptr<AudioDevice> createAggregateDevice(
        const std::shared_ptr<AudioDevice>& mainDevice,
        const std::shared_ptr<AudioDevice>& secondDevice, const std::string& name,
        const std::string& uid) {
        return hardware_->createAggregateDevice(mainDevice, secondDevice, name, uid);
    }
    coreaudio::AudioStatus removeAggregateDevice(coreaudio::AudioObjectID id) {
        return hardware_->removeAggregateDevice(id);
    }

  private:
    std::shared_ptr<AudioHardware> hardware_;
};

}  // namespace pex
