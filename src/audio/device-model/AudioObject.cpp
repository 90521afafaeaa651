#include "audio/device-model/AudioObject.h"

#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/PropertyAccess.h"

namespace pex {

AudioObject::AudioObject(AudioObjectID objectID) : objectID_(objectID) {}

AudioObject::~AudioObject() = default;

template <typename T, typename Compute>
T AudioObject::lazy(Lazy<T>& field, Compute compute) {
    {
        std::lock_guard lock(stateMutex_);
        if (field.loaded) return field.value;
    }
    T computed = compute();
    std::lock_guard lock(stateMutex_);
    if (!field.loaded) {
        field.value = std::move(computed);
        field.loaded = true;
    }
    return field.value;
}

std::optional<coreaudio::AudioClassID> AudioObject::classID() {
    return lazy(classID_, [&] {
        return property::readValue<coreaudio::AudioClassID>(objectID_, property::address("clas"));
    });
}

void AudioObject::setClassID(std::optional<coreaudio::AudioClassID> classID) {
    std::lock_guard lock(stateMutex_);
    classID_ = {true, classID};
}

std::shared_ptr<AudioObject> AudioObject::owningObject() {
    return lazy(owningObject_, [&]() -> std::shared_ptr<AudioObject> {
        const auto owner = property::readValue<AudioObjectID>(objectID_, property::address("stdv"));
        if (!owner) return nullptr;
        return std::make_shared<AudioObject>(*owner);
    });
}

void AudioObject::setOwningObject(std::shared_ptr<AudioObject> owner) {
    std::lock_guard lock(stateMutex_);
    owningObject_ = {true, std::move(owner)};
}

std::shared_ptr<AudioDevice> AudioObject::owningDevice() {
    return lazy(owningDevice_, [&]() -> std::shared_ptr<AudioDevice> {
        const std::shared_ptr<AudioObject> owner = owningObject();
        if (!owner || owner->classID() != coreaudio::classid::device) return nullptr;
        return AudioDevice::lookup(owner->objectID());
    });
}

void AudioObject::setOwningDevice(std::shared_ptr<AudioDevice> device) {
    std::lock_guard lock(stateMutex_);
    owningDevice_ = {true, std::move(device)};
}

std::optional<std::string> AudioObject::name() {
    return property::readString(objectID_, property::address("lnam"), false);
}

}  // namespace pex
