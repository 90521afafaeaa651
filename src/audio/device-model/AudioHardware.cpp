#include "audio/device-model/AudioHardware.h"

#include <algorithm>
#include <condition_variable>

#include "audio/device-model/AudioLog.h"
#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/PropertyAccess.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

namespace {

using namespace coreaudio;
namespace Note = AudioDeviceHubNotification;

std::string hardwareQueueLabel() {
    const std::string identifier = Bundle::main().bundleIdentifier();
    return (identifier.empty() ? std::string("AudioDeviceHub") : identifier) + ".audioHardware";
}

bool contains(const AudioHardware::Devices& devices, const std::shared_ptr<AudioDevice>& device) {
    return std::any_of(devices.begin(), devices.end(),
                       [&](const auto& candidate) { return *candidate == *device; });
}

nlohmann::json objectIDs(const AudioHardware::Devices& devices) {
    nlohmann::json ids = nlohmann::json::array();
    for (const auto& device : devices) ids.push_back(device->objectID());
    return ids;
}

void postOnMain(std::string name, std::shared_ptr<AudioHardware> sender,
                nlohmann::json userInfo = nullptr) {
    DispatchQueue::main().async([name = std::move(name), sender, userInfo = std::move(userInfo)] {
        NotificationCenter::defaultCenter().post(name, sender.get(), userInfo);
    });
}

}  // namespace

// What the hardware layer hands back to the listener. It refers to the AudioHardware weakly,
// so a registration that could not be removed never reaches a destroyed object; such a token is
// left behind on purpose.
struct AudioHardware::ListenerToken {
    std::weak_ptr<AudioHardware> hardware;
};

AudioHardware::AudioHardware() : queue_(DispatchQueue::concurrent(hardwareQueueLabel())) {}

AudioHardware::~AudioHardware() {
    unregisterForNotifications();
}

std::vector<AudioObjectID> AudioHardware::allDeviceIDs() {
    return property::readList<AudioObjectID>(kSystemObject, property::address("dev#"))
        .value_or(std::vector<AudioObjectID>{});
}

AudioHardware::Devices AudioHardware::allDevices() {
    Devices devices;
    for (AudioObjectID id : allDeviceIDs()) {
        if (id == kNoObject) continue;
        if (auto device = AudioDevice::lookup(id)) devices.push_back(std::move(device));
    }
    return devices;
}

namespace {

template <typename Keep>
AudioHardware::Devices filtered(AudioHardware::Devices devices, Keep keep) {
    std::erase_if(devices, [&](const auto& device) { return !keep(*device); });
    return devices;
}

}  // namespace

AudioHardware::Devices AudioHardware::allInputDevices() {
    return filtered(allDevices(), [](AudioDevice& d) { return d.channels(Scope::input) != 0; });
}

AudioHardware::Devices AudioHardware::allOutputDevices() {
    return filtered(allDevices(), [](AudioDevice& d) { return d.channels(Scope::output) != 0; });
}

AudioHardware::Devices AudioHardware::allIODevices() {
    return filtered(allDevices(), [](AudioDevice& d) {
        return d.channels(Scope::input) != 0 && d.channels(Scope::output) != 0;
    });
}

AudioHardware::Devices AudioHardware::allNonAggregateDevices() {
    return filtered(allDevices(), [](AudioDevice& d) { return !d.isAggregateDevice(); });
}

AudioHardware::Devices AudioHardware::allAggregateDevices() {
    return filtered(allDevices(), [](AudioDevice& d) { return d.isAggregateDevice(); });
}

std::shared_ptr<AudioDevice> AudioHardware::defaultDevice(const char* role) {
    const auto id = property::readValue<AudioObjectID>(kSystemObject, property::address(role));
    if (!id || *id == kNoObject) return nullptr;
    return AudioDevice::lookup(*id);
}

std::shared_ptr<AudioDevice> AudioHardware::defaultInputDevice() {
    return defaultDevice("dIn ");
}

std::shared_ptr<AudioDevice> AudioHardware::defaultOutputDevice() {
    return defaultDevice("dOut");
}

std::shared_ptr<AudioDevice> AudioHardware::defaultSystemOutputDevice() {
    return defaultDevice("sOut");
}

std::shared_ptr<AudioDevice> AudioHardware::createAggregateDevice(
    const std::shared_ptr<AudioDevice>& mainDevice,
    const std::shared_ptr<AudioDevice>& secondDevice, const std::string& name,
    const std::string& uid) {
    const auto mainUID = mainDevice ? mainDevice->uid() : std::nullopt;
    if (!mainUID) return nullptr;
    nlohmann::json subdevices = nlohmann::json::array({{{"uid", *mainUID}}});
    if (secondDevice) {
        const auto secondUID = secondDevice->uid();
        if (secondUID && *secondUID != *mainUID) subdevices.push_back({{"uid", *secondUID}});
    }
    const nlohmann::json description = {
        {"name", name}, {"uid", uid}, {"subdevices", subdevices}, {"master", *mainUID}};
    AudioObjectID created = kNoObject;
    const AudioStatus status = coreaudio::createAggregateDevice(description, created);
    if (status != status::ok) {
        AudioLog::model().debug(
            "Failed creating aggregate device with error: " + std::to_string(status) + ".");
        return nullptr;
    }
    return AudioDevice::lookup(created);
}

AudioStatus AudioHardware::removeAggregateDevice(AudioObjectID id) {
    return coreaudio::destroyAggregateDevice(id);
}

bool AudioHardware::isRegisteredForNotifications() const {
    std::lock_guard lock(stateMutex_);
    return listenerToken_ != nullptr;
}

void AudioHardware::registerForNotifications() {
    if (isRegisteredForNotifications()) unregisterForNotifications();
    auto token = std::make_unique<ListenerToken>(ListenerToken{weak_from_this()});
    if (addPropertyListener(kSystemObject, kEveryProperty, propertyListener, token.get()) ==
        status::ok) {
        std::lock_guard lock(stateMutex_);
        listenerToken_ = token.release();
    } else {
        AudioLog::system().notice("Unable to add property listener for systemObjectID: " +
                                  std::to_string(kSystemObject) + ".");
    }
}

void AudioHardware::unregisterForNotifications() {
    ListenerToken* token = nullptr;
    {
        std::lock_guard lock(stateMutex_);
        token = listenerToken_;
    }
    if (!token) return;
    if (removePropertyListener(kSystemObject, kEveryProperty, propertyListener, token) ==
        status::ok) {
        std::lock_guard lock(stateMutex_);
        listenerToken_ = nullptr;
        delete token;
    } else {
        AudioLog::system().notice("Unable to remove property listener for systemObjectID: " +
                                  std::to_string(kSystemObject) + ".");
    }
}

void AudioHardware::updateKnownDevices(Devices added, Devices removed) {
    queue_.asyncBarrier(
        [weak = weak_from_this(), added = std::move(added), removed = std::move(removed)] {
            auto self = weak.lock();
            if (!self) return;
            auto& known = self->allKnownDevices_;
            // The seeding and a list change seen while the first facade registers can both
            // report a device; it is known once.
            for (const auto& device : added) {
                if (!contains(known, device)) known.push_back(device);
            }
            std::erase_if(known, [&](const auto& device) { return contains(removed, device); });
        });
}

AudioHardware::Devices AudioHardware::allKnownDevices() {
    Devices snapshot;
    queue_.sync([&] { snapshot = allKnownDevices_; });
    return snapshot;
}

void AudioHardware::deviceListChanged() {
    Devices added;
    Devices removed;
    queue_.sync([&] {
        const Devices current = allDevices();
        for (const auto& device : current) {
            if (!contains(allKnownDevices_, device)) added.push_back(device);
        }
        for (const auto& device : allKnownDevices_) {
            if (!contains(current, device)) removed.push_back(device);
        }
    });
    updateKnownDevices(added, removed);
    postOnMain(Note::deviceListChanged, shared_from_this(),
               {{"addedDevices", objectIDs(added)}, {"removedDevices", objectIDs(removed)}});
}

// Each changed address is looked at, so a change reported together with others is not lost;
// several 'ownd' changes in one call make one list comparison.
AudioStatus AudioHardware::propertyListener(AudioObjectID, std::uint32_t count,
                                            const AudioObjectPropertyAddress* addresses,
                                            void* clientData) {
    const auto self = static_cast<ListenerToken*>(clientData)->hardware.lock();
    if (!self) return status::ok;
    bool listChanged = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t selector = addresses[i].mSelector;
        if (selector == fourCC("dIn ")) {
            postOnMain(Note::defaultInputDeviceChanged, self);
        } else if (selector == fourCC("dOut")) {
            postOnMain(Note::defaultOutputDeviceChanged, self);
        } else if (selector == fourCC("sOut")) {
            postOnMain(Note::defaultSystemOutputDeviceChanged, self);
        } else if (selector == fourCC("ownd") && !listChanged) {
            listChanged = true;
            self->deviceListChanged();
        }
    }
    return status::ok;
}

}  // namespace pex
