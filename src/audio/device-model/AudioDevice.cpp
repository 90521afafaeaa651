#include "audio/device-model/AudioDevice.h"

#include <algorithm>
#include <array>
#include <vector>

#include "audio/device-model/AudioLog.h"
#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/AudioObjectPool.h"
#include "audio/device-model/PropertyAccess.h"
#include "audio/device-model/Scope.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

namespace {

using namespace coreaudio;

bool isDeviceClass(AudioClassID classID) {
    static const std::array<AudioClassID, 5> deviceClasses{
        classid::device, classid::subDevice, classid::aggregateDevice, classid::endPoint,
        classid::endPointDevice};
    return std::find(deviceClasses.begin(), deviceClasses.end(), classID) != deviceClasses.end();
}

// The one listener of every device. Each changed address is looked at, so a call reporting
// several changes posts one notification per change that has one.
AudioStatus deviceListener(AudioObjectID objectID, std::uint32_t count,
                           const AudioObjectPropertyAddress* addresses, void*) {
    const std::shared_ptr<AudioDevice> device =
        AudioObjectPool::shared().get<AudioDevice>(objectID);
    if (!device) return status::badObject;
    for (std::uint32_t i = 0; i < count; ++i) {
        const AudioObjectPropertyAddress& changed = addresses[i];
        const auto name = AudioDeviceHubNotification::forDeviceSelector(changed.mSelector);
        if (!name) continue;
        nlohmann::json userInfo;
        if (changed.mSelector == fourCC("volm") || changed.mSelector == fourCC("mute")) {
            userInfo = {{"channel", changed.mElement},
                        {"scope", scopeName(scopeFromPropertyScope(changed.mScope))}};
        }
        DispatchQueue::main().async([device, name = *name, userInfo = std::move(userInfo)] {
            NotificationCenter::defaultCenter().post(name, device.get(), userInfo);
        });
    }
    return status::ok;
}

}  // namespace

AudioDevice::AudioDevice(AudioObjectID objectID) : AudioObject(objectID) {}

AudioDevice::~AudioDevice() {
    unregisterForNotifications();
}

std::shared_ptr<AudioDevice> AudioDevice::lookup(AudioObjectID objectID) {
    if (auto pooled = AudioObjectPool::shared().get<AudioDevice>(objectID)) return pooled;
    return make(objectID);
}

std::shared_ptr<AudioDevice> AudioDevice::lookupByUID(const std::string& uid) {
    const auto objectID = property::translate<PropertyString, AudioObjectID>(
        kSystemObject, property::address("duid"), PropertyString(uid), kNoObject);
    if (!objectID || *objectID == kNoObject) return nullptr;
    return lookup(*objectID);
}

std::shared_ptr<AudioDevice> AudioDevice::make(AudioObjectID objectID) {
    auto device = std::make_shared<AudioDevice>(objectID);
    const auto classID = device->classID();
    if (!classID || !isDeviceClass(*classID)) return nullptr;
    // The object is pooled before its listener goes in, so the listener always finds it.
    auto pooled = AudioObjectPool::shared().setIfAbsent(device, objectID);
    if (pooled != device) return std::dynamic_pointer_cast<AudioDevice>(pooled);
    device->registerForNotifications();
    const auto name = device->AudioObject::name();
    std::lock_guard lock(device->stateMutex_);
    device->cachedDeviceName_ = name;
    return device;
}

std::optional<std::string> AudioDevice::name() {
    if (auto live = AudioObject::name()) return live;
    if (auto cached = cachedDeviceName()) return cached;
    return std::string("<Unknown Device Name>");
}

std::string AudioDevice::description() {
    return *name() + " (" + std::to_string(objectID()) + ")";
}

std::optional<std::string> AudioDevice::cachedDeviceName() const {
    std::lock_guard lock(stateMutex_);
    return cachedDeviceName_;
}

bool AudioDevice::isRegisteredForNotifications() const {
    std::lock_guard lock(stateMutex_);
    return isRegisteredForNotifications_;
}

void AudioDevice::registerForNotifications() {
    if (isRegisteredForNotifications()) unregisterForNotifications();
    if (addPropertyListener(objectID(), kEveryProperty, deviceListener, nullptr) == status::ok) {
        std::lock_guard lock(stateMutex_);
        isRegisteredForNotifications_ = true;
    } else {
        AudioLog::system().notice("Unable to add property listener for " + description() + ".");
    }
}

void AudioDevice::unregisterForNotifications() {
    if (!isRegisteredForNotifications()) return;
    // A device that has gone keeps its registration: there is nothing left to remove it from.
    const auto alive = property::readValue<std::uint32_t>(objectID(), property::address("livn"));
    if (!alive || *alive == 0) return;
    if (removePropertyListener(objectID(), kEveryProperty, deviceListener, nullptr) == status::ok) {
        std::lock_guard lock(stateMutex_);
        isRegisteredForNotifications_ = false;
    } else {
        AudioLog::system().notice("Unable to remove property listener for " + description() + ".");
    }
}

}  // namespace pex
