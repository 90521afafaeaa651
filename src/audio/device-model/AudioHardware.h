#pragma once
// The system audio object as the model sees it: the device lists, the default devices,
// aggregate devices, and a listener on the system object that posts a notification when the
// device list or a default device changes. Lists and defaults are read afresh on every call;
// `allKnownDevices` is only the listener's memory of what it has seen, to tell what changed.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/device-model/AudioDevice.h"
#include "platform/coreaudio/AudioTypes.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class AudioHardware : public std::enable_shared_from_this<AudioHardware> {
  public:
    using AudioObjectID = coreaudio::AudioObjectID;
    using Devices = std::vector<std::shared_ptr<AudioDevice>>;

    AudioHardware();
    ~AudioHardware();
    AudioHardware(const AudioHardware&) = delete;
    AudioHardware& operator=(const AudioHardware&) = delete;

    // Empty when the list cannot be read.
    std::vector<AudioObjectID> allDeviceIDs();
    Devices allDevices();
    Devices allInputDevices();
    Devices allOutputDevices();
    Devices allIODevices();
    Devices allNonAggregateDevices();
    Devices allAggregateDevices();
    std::shared_ptr<AudioDevice> defaultInputDevice();
    std::shared_ptr<AudioDevice> defaultOutputDevice();
    std::shared_ptr<AudioDevice> defaultSystemOutputDevice();

    // An aggregate of `mainDevice` (the clock master) and `secondDevice` when it is another
    // device with a UID; nothing when the main device has no UID or the hardware refuses.
    std::shared_ptr<AudioDevice> createAggregateDevice(
        const std::shared_ptr<AudioDevice>& mainDevice,
        const std::shared_ptr<AudioDevice>& secondDevice, const std::string& name,
        const std::string& uid);
    coreaudio::AudioStatus removeAggregateDevice(AudioObjectID id);

    void registerForNotifications();
    void unregisterForNotifications();
    bool isRegisteredForNotifications() const;
    // Appends what of `added` is not known yet, then drops `removed` (by object ID), as a
    // barrier on the queue, after the call returns.
    void updateKnownDevices(Devices added, Devices removed);
    // A snapshot taken on the queue.
    Devices allKnownDevices();

    // The bundle identifier (or "AudioDeviceHub") followed by ".audioHardware".
    const std::string& queueLabel() const { return queue_.label(); }

  private:
    struct ListenerToken;
    static coreaudio::AudioStatus propertyListener(
        AudioObjectID object, std::uint32_t count,
        const coreaudio::AudioObjectPropertyAddress* addresses, void* clientData);
    void deviceListChanged();
    std::shared_ptr<AudioDevice> defaultDevice(const char* role);

    DispatchQueue queue_;
    Devices allKnownDevices_;  // touched only on queue_, changed only by barriers
    mutable std::mutex stateMutex_;
    ListenerToken* listenerToken_ = nullptr;  // present while registered
};

}  // namespace pex
