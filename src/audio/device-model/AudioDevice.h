#pragma once
// An audio device of the hardware layer. One object per device ID, kept in the object pool
// with one property listener, which turns property changes into notifications on the main
// queue (AudioNotifications.h). The name is never absent: the live name, else the name read
// when the object was made, else "<Unknown Device Name>".
#include <memory>
#include <optional>
#include <string>

#include "audio/device-model/AudioObject.h"

namespace pex {

class AudioDevice final : public AudioObject {
  public:
    // The pooled device for the ID, else a new one; nothing when the ID is not a device.
    static std::shared_ptr<AudioDevice> lookup(AudioObjectID objectID);
    // The device whose unique identifier is `uid`, through the system object.
    static std::shared_ptr<AudioDevice> lookupByUID(const std::string& uid);
    // Makes the device object for an ID whose class is a device class ('adev', 'asub', 'aagg',
    // 'endp', 'edev'), pools it and installs its listener; nothing for other IDs. When another
    // thread pooled the ID first, that object is returned.
    static std::shared_ptr<AudioDevice> make(AudioObjectID objectID);

    ~AudioDevice() override;

    std::optional<std::string> name() override;
    // The name, " (", the object ID, ")".
    std::string description();
    std::optional<std::string> cachedDeviceName() const;

    void registerForNotifications();
    void unregisterForNotifications();
    bool isRegisteredForNotifications() const;

    explicit AudioDevice(AudioObjectID objectID);  // use lookup or make

  private:
    std::optional<std::string> cachedDeviceName_;
    bool isRegisteredForNotifications_ = false;
};

}  // namespace pex
