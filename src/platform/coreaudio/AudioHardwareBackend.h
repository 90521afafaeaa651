#pragma once
// What carries out the audio hardware layer's calls: the sound server in the application, an
// in-memory table in tests. The layer (HardwareLayer.h) owns listeners and their thread; a
// backend only answers property calls and reports which properties changed.
//
// Every method may be called from any thread at any time, concurrently; a write must be
// visible to the next read on any thread. Methods are synchronous. A backend never calls
// listeners itself: it hands changes to the reporter, which only queues them, so reporting
// while the backend holds its own locks is safe.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/coreaudio/AudioTypes.h"

namespace pex::coreaudio {

class AudioHardwareBackend {
  public:
    using ChangeReporter =
        std::function<void(AudioObjectID object, std::vector<AudioObjectPropertyAddress> changed)>;

    virtual ~AudioHardwareBackend() = default;

    // Called once when the backend is installed; changes are reported through `report` until
    // `detach`. After `detach` returns the backend no longer calls `report`.
    virtual void attach(ChangeReporter report) = 0;
    virtual void detach() = 0;

    virtual bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) = 0;
    virtual AudioStatus isPropertySettable(AudioObjectID object,
                                           const AudioObjectPropertyAddress& address,
                                           bool& settable) = 0;
    // `qualifier` narrows list properties (for instance the classes of owned objects).
    virtual AudioStatus getPropertyDataSize(AudioObjectID object,
                                            const AudioObjectPropertyAddress& address,
                                            std::uint32_t qualifierSize, const void* qualifier,
                                            std::uint32_t& size) = 0;
    // `size` is the room at `data` on entry and the bytes written on return. A list that does
    // not fit is cut to whole entries; a record longer than the room is cut to the room.
    // String values go into a constructed PropertyString (see PropertyString.h).
    virtual AudioStatus getPropertyData(AudioObjectID object,
                                        const AudioObjectPropertyAddress& address,
                                        std::uint32_t qualifierSize, const void* qualifier,
                                        std::uint32_t& size, void* data) = 0;
    virtual AudioStatus setPropertyData(AudioObjectID object,
                                        const AudioObjectPropertyAddress& address,
                                        std::uint32_t qualifierSize, const void* qualifier,
                                        std::uint32_t size, const void* data) = 0;

    // A listener is about to be added or was removed; a backend may refuse one for an object it
    // does not know, or start and stop watching the server on demand.
    virtual AudioStatus listenerAdded(AudioObjectID object,
                                      const AudioObjectPropertyAddress& address) = 0;
    virtual AudioStatus listenerRemoved(AudioObjectID object,
                                        const AudioObjectPropertyAddress& address) = 0;

    // `description` is a JSON object: "name", "uid", "subdevices" (array of {"uid": ...}),
    // optionally "master" (a subdevice's UID) and "stacked" (1 for a device that plays the same
    // sound on every subdevice).
    virtual AudioStatus createAggregateDevice(const nlohmann::json& description,
                                              AudioObjectID& created) = 0;
    virtual AudioStatus destroyAggregateDevice(AudioObjectID device) = 0;

    // Adds a loopback device named `name` (what is played on it can be recorded from it), as a
    // driver's installer would; it stays after the application ends. An existing device of
    // that name is answered as created. Backends without such devices refuse.
    virtual AudioStatus createLoopbackDevice(const std::string& name, AudioObjectID& created) {
        (void)name;
        created = kNoObject;
        return status::unsupportedOperation;
    }
};

}  // namespace pex::coreaudio
