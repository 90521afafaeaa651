#include "audio/device-model/AudioStream.h"

#include <cstdio>

#include "audio/device-model/AudioLog.h"
#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/AudioObjectPool.h"
#include "audio/device-model/PropertyAccess.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

namespace {

using namespace coreaudio;

// The one listener of every stream; like the device listener it looks at every address.
AudioStatus streamListener(AudioObjectID objectID, std::uint32_t count,
                           const AudioObjectPropertyAddress* addresses, void*) {
    const std::shared_ptr<AudioStream> stream =
        AudioObjectPool::shared().get<AudioStream>(objectID);
    if (!stream) return status::badObject;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto name = AudioDeviceHubNotification::forStreamSelector(addresses[i].mSelector);
        if (!name) continue;
        DispatchQueue::main().async([stream, name = *name] {
            NotificationCenter::defaultCenter().post(name, stream.get());
        });
    }
    return status::ok;
}

}  // namespace

std::string describeFormat(const AudioStreamBasicDescription& format) {
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%X", format.mFormatFlags);
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", format.mSampleRate);
    return std::string(rate) + " Hz " + fourCCText(format.mFormatID) + " flags " + flags + ", " +
           std::to_string(format.mChannelsPerFrame) + " ch, " +
           std::to_string(format.mBitsPerChannel) + " bit";
}

AudioStream::AudioStream(AudioObjectID objectID) : AudioObject(objectID) {}

AudioStream::~AudioStream() {
    unregisterForNotifications();
}

std::shared_ptr<AudioStream> AudioStream::lookup(AudioObjectID objectID) {
    if (auto pooled = AudioObjectPool::shared().get<AudioStream>(objectID)) return pooled;
    return make(objectID);
}

std::shared_ptr<AudioStream> AudioStream::make(AudioObjectID objectID) {
    auto stream = std::make_shared<AudioStream>(objectID);
    if (!stream->owningObject()) return nullptr;
    auto pooled = AudioObjectPool::shared().setIfAbsent(stream, objectID);
    if (pooled != stream) return std::dynamic_pointer_cast<AudioStream>(pooled);
    stream->registerForNotifications();
    return stream;
}

bool AudioStream::isActive() {
    return property::readValue<std::uint32_t>(objectID(), property::address("sact")) == 1u;
}

std::optional<std::uint32_t> AudioStream::startingChannel() {
    return property::readValue<std::uint32_t>(objectID(), property::address("schn"));
}

std::optional<std::uint32_t> AudioStream::latency() {
    return property::readValue<std::uint32_t>(objectID(), property::address("ltnc"));
}

std::optional<Scope> AudioStream::direction() {
    const auto value = property::readValue<std::uint32_t>(objectID(), property::address("sdir"));
    if (value == 0u) return Scope::output;
    if (value == 1u) return Scope::input;
    return std::nullopt;
}

TerminalType AudioStream::terminalType() {
    const auto code = property::readValue<std::uint32_t>(objectID(), property::address("term"));
    return code ? terminalTypeFromCode(*code) : TerminalType::unknown;
}

std::optional<AudioStream::Format> AudioStream::format(const char* selector) {
    const auto scope = direction();
    if (!scope) return std::nullopt;
    return property::readValue<Format>(objectID(),
                                       property::address(selector, propertyScope(*scope)));
}

void AudioStream::setFormat(const char* selector, const char* label,
                            const std::optional<Format>& format) {
    // An absent format is nothing to set: writing a zeroed record would break the stream.
    bool written = false;
    if (format) {
        if (const auto scope = direction()) {
            written = property::write(objectID(),
                                      property::address(selector, propertyScope(*scope)), *format);
        }
    }
    if (!written) {
        AudioLog::model().debug(std::string("Error setting ") + label + " to " +
                                (format ? describeFormat(*format) : "none") + ".");
    }
}

std::optional<AudioStream::Format> AudioStream::physicalFormat() {
    return format("pft ");
}

void AudioStream::setPhysicalFormat(const std::optional<Format>& format) {
    setFormat("pft ", "physicalFormat", format);
}

std::optional<AudioStream::Format> AudioStream::virtualFormat() {
    return format("sfmt");
}

void AudioStream::setVirtualFormat(const std::optional<Format>& format) {
    setFormat("sfmt", "virtualFormat", format);
}

std::optional<std::vector<AudioStream::RangedFormat>> AudioStream::readAvailable(
    const char* selector) {
    const auto scope = direction();
    if (!scope) return std::nullopt;
    return property::readList<RangedFormat>(objectID(),
                                            property::address(selector, propertyScope(*scope)));
}

std::optional<std::vector<AudioStream::RangedFormat>> AudioStream::availablePhysicalFormats() {
    {
        std::lock_guard lock(stateMutex_);
        if (availablePhysical_.loaded) return availablePhysical_.value;
    }
    auto read = readAvailable("pfta");
    std::lock_guard lock(stateMutex_);
    if (!availablePhysical_.loaded) availablePhysical_ = {true, std::move(read)};
    return availablePhysical_.value;
}

std::optional<std::vector<AudioStream::RangedFormat>> AudioStream::availableVirtualFormats() {
    {
        std::lock_guard lock(stateMutex_);
        if (availableVirtual_.loaded) return availableVirtual_.value;
    }
    auto read = readAvailable("sfma");
    std::lock_guard lock(stateMutex_);
    if (!availableVirtual_.loaded) availableVirtual_ = {true, std::move(read)};
    return availableVirtual_.value;
}

std::optional<std::vector<AudioStream::Format>> AudioStream::matching(
    std::optional<std::vector<RangedFormat>> available, std::optional<Format> current,
    bool includeNonMixable) {
    if (!available || !current) return std::nullopt;
    const double rate = current->mSampleRate;
    std::vector<Format> result;
    for (const auto& ranged : *available) {
        if (ranged.mSampleRateRange.mMinimum < rate || ranged.mSampleRateRange.mMaximum > rate) {
            continue;
        }
        if (!includeNonMixable && (ranged.mFormat.mFormatFlags & kAudioFormatFlagIsNonMixable)) {
            continue;
        }
        result.push_back(ranged.mFormat);
    }
    return result;
}

std::optional<std::vector<AudioStream::Format>> AudioStream::matchingPhysicalFormats(
    bool includeNonMixable) {
    return matching(availablePhysicalFormats(), physicalFormat(), includeNonMixable);
}

std::optional<std::vector<AudioStream::Format>> AudioStream::matchingVirtualFormats(
    bool includeNonMixable) {
    return matching(availableVirtualFormats(), virtualFormat(), includeNonMixable);
}

std::string AudioStream::description() {
    const std::string id = std::to_string(objectID());
    const auto streamName = name();
    return (streamName ? *streamName : "Stream " + id) + " (" + id + ")";
}

bool AudioStream::isRegisteredForNotifications() const {
    std::lock_guard lock(stateMutex_);
    return isRegisteredForNotifications_;
}

void AudioStream::registerForNotifications() {
    if (isRegisteredForNotifications()) unregisterForNotifications();
    if (addPropertyListener(objectID(), kEveryProperty, streamListener, nullptr) == status::ok) {
        std::lock_guard lock(stateMutex_);
        isRegisteredForNotifications_ = true;
    } else {
        AudioLog::system().notice("Unable to add property listener for " + description() + ".");
    }
}

void AudioStream::unregisterForNotifications() {
    if (!isRegisteredForNotifications()) return;
    if (removePropertyListener(objectID(), kEveryProperty, streamListener, nullptr) == status::ok) {
        std::lock_guard lock(stateMutex_);
        isRegisteredForNotifications_ = false;
    } else {
        AudioLog::system().notice("Unable to remove property listener for " + description() + ".");
    }
}

}  // namespace pex
