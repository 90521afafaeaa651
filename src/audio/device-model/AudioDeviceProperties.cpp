// AudioDevice: identity, state, default roles, aggregate membership, exclusive access, clock
// and data sources.
#include <unistd.h>

#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/PropertyAccess.h"

namespace pex {

namespace {

using namespace coreaudio;
using property::address;

std::optional<std::string> readString(AudioObjectID object, const char* selector) {
    return property::readString(object, address(selector), true);
}

bool readFlag(AudioObjectID object, const AudioObjectPropertyAddress& at) {
    return property::readScalar<std::uint32_t>(object, at).value_or(0) != 0;
}

std::vector<std::shared_ptr<AudioDevice>> devicesFor(const std::vector<AudioObjectID>& ids) {
    std::vector<std::shared_ptr<AudioDevice>> devices;
    for (AudioObjectID id : ids) {
        if (id == kNoObject) continue;
        if (auto device = AudioDevice::lookup(id)) devices.push_back(std::move(device));
    }
    return devices;
}

bool isDefault(const char* role, AudioObjectID self) {
    const auto current = property::readValue<AudioObjectID>(kSystemObject, address(role));
    if (!current || *current == kNoObject) return false;
    const auto device = AudioDevice::lookup(*current);
    return device && device->objectID() == self;
}

// The role is written without asking first, so a device that already has it writes it again.
AudioStatus makeDefault(const char* role, AudioObjectID self, bool isDefault) {
    if (!isDefault) return status::unsupportedOperation;
    return setPropertyData(kSystemObject, address(role), 0, nullptr, sizeof(self), &self);
}

// Devices whose preferred layout in `scope` has at least one channel.
std::vector<std::shared_ptr<AudioDevice>> withChannelsIn(
    const std::vector<std::shared_ptr<AudioDevice>>& devices, std::uint32_t scope) {
    std::vector<std::shared_ptr<AudioDevice>> kept;
    for (const auto& device : devices) {
        const auto layout =
            property::readValue<AudioChannelLayout>(device->objectID(), address("srnd", scope));
        if (layout && layout->mNumberChannelDescriptions != 0) kept.push_back(device);
    }
    return kept;
}

const AudioObjectPropertyAddress kHogMode = address("oink", scope::wildcard);

}  // namespace

std::optional<std::string> AudioDevice::uid() {
    return readString(objectID(), "uid ");
}

std::optional<std::string> AudioDevice::modelUID() {
    return readString(objectID(), "muid");
}

std::optional<std::string> AudioDevice::manufacturer() {
    return readString(objectID(), "lmak");
}

std::optional<std::string> AudioDevice::configurationApplication() {
    return readString(objectID(), "capp");
}

bool AudioDevice::isHidden() {
    return readFlag(objectID(), address("hidn"));
}

bool AudioDevice::isAlive() {
    return readFlag(objectID(), address("livn"));
}

bool AudioDevice::isRunning() {
    return readFlag(objectID(), address("goin"));
}

bool AudioDevice::isRunningSomewhere() {
    return readFlag(objectID(), address("gone"));
}

std::optional<TransportType> AudioDevice::transportType() {
    const auto code = property::readScalar<std::uint32_t>(objectID(), address("tran"));
    if (!code) return std::nullopt;
    return transportTypeFromCode(*code);
}

std::optional<std::vector<AudioObjectID>> AudioDevice::controlList() {
    return property::readList<AudioObjectID>(objectID(), address("ctrl"));
}

std::optional<std::vector<std::shared_ptr<AudioDevice>>> AudioDevice::relatedDevices() {
    const auto ids = property::readList<AudioObjectID>(objectID(), address("akin"));
    if (!ids) return std::nullopt;
    return devicesFor(*ids);
}

std::optional<std::vector<AudioObjectID>> AudioDevice::ownedObjectIDs() {
    const AudioClassID everyClass = classid::object;
    return property::readList<AudioObjectID>(objectID(), address("ownd"), sizeof(everyClass),
                                             &everyClass);
}

bool AudioDevice::isDefaultInputDevice() {
    return isDefault("dIn ", objectID());
}

bool AudioDevice::isDefaultOutputDevice() {
    return isDefault("dOut", objectID());
}

bool AudioDevice::isDefaultSystemOutputDevice() {
    return isDefault("sOut", objectID());
}

AudioStatus AudioDevice::setIsDefaultInputDevice(bool isDefault) {
    return makeDefault("dIn ", objectID(), isDefault);
}

AudioStatus AudioDevice::setIsDefaultOutputDevice(bool isDefault) {
    return makeDefault("dOut", objectID(), isDefault);
}

AudioStatus AudioDevice::setIsDefaultSystemOutputDevice(bool isDefault) {
    return makeDefault("sOut", objectID(), isDefault);
}

std::optional<std::vector<std::shared_ptr<AudioDevice>>> AudioDevice::ownedDevices() {
    const auto ids = ownedObjectIDs();
    if (!ids) return std::nullopt;
    return devicesFor(*ids);
}

std::optional<std::vector<std::shared_ptr<AudioDevice>>> AudioDevice::ownedInputDevices() {
    const auto owned = ownedDevices();
    if (!owned) return std::nullopt;
    return withChannelsIn(*owned, scope::input);
}

std::optional<std::vector<std::shared_ptr<AudioDevice>>> AudioDevice::ownedOutputDevices() {
    const auto owned = ownedDevices();
    if (!owned) return std::nullopt;
    return withChannelsIn(*owned, scope::output);
}

bool AudioDevice::isAggregateDevice() {
    const auto owned = ownedDevices();
    return owned && !owned->empty();
}

std::optional<pid_t> AudioDevice::hogModePID() {
    return property::readValue<pid_t>(objectID(), kHogMode);
}

// A write toggles ownership on the hardware's side; the value written is not looked at.
bool AudioDevice::setHogMode() {
    if (hogModePID() == ::getpid()) return false;
    return property::write<std::uint64_t>(objectID(), kHogMode, 0);
}

bool AudioDevice::unsetHogMode() {
    if (hogModePID() != ::getpid()) return false;
    return property::write<std::uint64_t>(objectID(), kHogMode, 0);
}

std::optional<std::uint32_t> AudioDevice::clockSourceID() {
    return property::readScalar<std::uint32_t>(objectID(), address("csrc"));
}

bool AudioDevice::setClockSourceID(std::uint32_t clockSourceID) {
    return property::write(objectID(), address("csrc"), clockSourceID);
}

std::optional<std::vector<std::uint32_t>> AudioDevice::clockSourceIDs() {
    return property::readList<std::uint32_t>(objectID(), address("csc#"));
}

std::optional<std::string> AudioDevice::clockSourceName(std::uint32_t clockSourceID) {
    const auto name =
        property::translate(objectID(), address("lcsn"), clockSourceID, PropertyString());
    if (!name) return std::nullopt;
    return name->str();
}

std::optional<std::string> AudioDevice::clockSourceName() {
    const auto id = clockSourceID();
    if (!id) return std::nullopt;
    return clockSourceName(*id);
}

std::optional<std::vector<std::string>> AudioDevice::clockSourceNames() {
    const auto ids = clockSourceIDs();
    if (!ids) return std::nullopt;
    std::vector<std::string> names;
    for (std::uint32_t id : *ids) {
        names.push_back(clockSourceName(id).value_or("Clock source " + std::to_string(id)));
    }
    return names;
}

std::optional<std::vector<std::uint32_t>> AudioDevice::dataSource(Scope scope) {
    return property::readList<std::uint32_t>(objectID(), address("ssrc", propertyScope(scope)));
}

std::optional<std::vector<std::uint32_t>> AudioDevice::dataSources(Scope scope) {
    return property::readList<std::uint32_t>(objectID(), address("ssc#", propertyScope(scope)));
}

std::optional<std::string> AudioDevice::dataSourceName(std::uint32_t dataSourceID, Scope scope) {
    const auto name = property::translate(objectID(), address("lscn", propertyScope(scope)),
                                          dataSourceID, PropertyString());
    if (!name) return std::nullopt;
    return name->str();
}

}  // namespace pex
