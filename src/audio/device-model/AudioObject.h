#pragma once
// One hardware audio object (a device, a stream, ...), known by its object ID. Class and owner
// are read once, on first use, and kept even when absent; either can also be assigned. Objects
// are equal when their object IDs are equal, whatever their class.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/coreaudio/AudioTypes.h"

namespace pex {

class AudioDevice;

class AudioObject : public std::enable_shared_from_this<AudioObject> {
  public:
    using AudioObjectID = coreaudio::AudioObjectID;

    explicit AudioObject(AudioObjectID objectID);
    virtual ~AudioObject();
    AudioObject(const AudioObject&) = delete;
    AudioObject& operator=(const AudioObject&) = delete;

    AudioObjectID objectID() const { return objectID_; }

    // 'clas', read once.
    std::optional<coreaudio::AudioClassID> classID();
    void setClassID(std::optional<coreaudio::AudioClassID> classID);

    // A plain object (not pooled) for the owner's ID from 'stdv', read once.
    std::shared_ptr<AudioObject> owningObject();
    void setOwningObject(std::shared_ptr<AudioObject> owner);

    // The pooled device for the owner when the owner's class is exactly 'adev'; derived once.
    std::shared_ptr<AudioDevice> owningDevice();
    void setOwningDevice(std::shared_ptr<AudioDevice> device);

    // 'lnam', read afresh each time.
    virtual std::optional<std::string> name();

    bool operator==(const AudioObject& other) const { return objectID_ == other.objectID_; }

  protected:
    // Guards the lazy fields and subclasses' own small state; never held across a hardware
    // call, so a first read racing another first read may read twice but stores once.
    mutable std::mutex stateMutex_;

  private:
    template <typename T>
    struct Lazy {
        bool loaded = false;
        T value{};
    };
    template <typename T, typename Compute>
    T lazy(Lazy<T>& field, Compute compute);

    const AudioObjectID objectID_;
    Lazy<std::optional<coreaudio::AudioClassID>> classID_;
    Lazy<std::shared_ptr<AudioObject>> owningObject_;
    Lazy<std::shared_ptr<AudioDevice>> owningDevice_;
};

}  // namespace pex

template <>
struct std::hash<pex::AudioObject> {
    std::size_t operator()(const pex::AudioObject& object) const noexcept {
        return std::hash<pex::coreaudio::AudioObjectID>{}(object.objectID());
    }
};
