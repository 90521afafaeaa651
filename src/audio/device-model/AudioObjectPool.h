#pragma once
// The one object per hardware object ID: devices and streams share one table, which holds
// them for the life of the process. The table is touched only on the pool's concurrent queue:
// reads side by side, changes as barriers.
#include <memory>
#include <string>
#include <unordered_map>

#include "audio/device-model/AudioObject.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class AudioObjectPool {
  public:
    static AudioObjectPool& shared();

    // The pooled object for `objectID` when its class is exactly T, else nullptr.
    template <typename T>
    std::shared_ptr<T> get(AudioObject::AudioObjectID objectID) {
        return std::dynamic_pointer_cast<T>(getObject(objectID));
    }
    std::shared_ptr<AudioObject> getObject(AudioObject::AudioObjectID objectID);

    // Stores `object` under `objectID`, replacing any earlier entry; waits until done.
    void set(std::shared_ptr<AudioObject> object, AudioObject::AudioObjectID objectID);
    // Stores `object` unless an object is pooled under `objectID` already, in one step; returns
    // the pooled object. Creation goes through here so that two threads creating the object
    // for one ID end up with the same object.
    std::shared_ptr<AudioObject> setIfAbsent(std::shared_ptr<AudioObject> object,
                                             AudioObject::AudioObjectID objectID);
    // Schedules the removal of the entry and returns at once.
    void remove(AudioObject::AudioObjectID objectID);

    // The bundle identifier (or "AudioDeviceHub") followed by ".audioObjectPool".
    const std::string& queueLabel() const { return queue_.label(); }

  private:
    AudioObjectPool();

    DispatchQueue queue_;
    std::unordered_map<AudioObject::AudioObjectID, std::shared_ptr<AudioObject>> pool_;
};

}  // namespace pex
