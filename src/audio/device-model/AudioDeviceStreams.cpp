// AudioDevice: streams and channels, latency and buffer size, sample rates.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/AudioLog.h"
#include "audio/device-model/AudioStream.h"
#include "audio/device-model/PropertyAccess.h"

namespace pex {

namespace {

using namespace coreaudio;
using property::address;

constexpr std::array<std::uint32_t, 9> kStandardBufferSizes{16,  32,   64,   128, 256,
                                                            512, 1024, 2048, 4096};
constexpr std::array<double, 16> kStandardSampleRates{6400,  8000,   11025,  12000, 16000, 22050,
                                                      24000, 32000,  44100,  48000, 64000, 88200,
                                                      96000, 128000, 176400, 192000};

AudioObjectPropertyAddress at(const char* selector, Scope scope, std::uint32_t element = 0) {
    return address(selector, propertyScope(scope), element);
}

bool inRange(std::uint32_t frames, const AudioValueRange& range) {
    return std::trunc(range.mMinimum) <= frames && std::trunc(range.mMaximum) >= frames;
}

}  // namespace

std::optional<std::vector<std::shared_ptr<AudioStream>>> AudioDevice::streams(Scope scope) {
    const auto ids = property::readList<AudioObjectID>(objectID(), at("stm#", scope));
    if (!ids) return std::nullopt;
    std::vector<std::shared_ptr<AudioStream>> streams;
    for (AudioObjectID id : *ids) {
        if (id == kNoObject) continue;
        if (auto stream = AudioStream::lookup(id)) streams.push_back(std::move(stream));
    }
    return streams;
}

std::uint32_t AudioDevice::channels(Scope scope) {
    const auto all = streams(scope);
    if (!all) return 0;
    std::uint32_t total = 0;
    for (const auto& stream : *all) {
        // The stream's own direction picks the scope its format is read in.
        if (const auto format = stream->physicalFormat()) total += format->mChannelsPerFrame;
    }
    return total;
}

std::optional<std::uint32_t> AudioDevice::layoutChannels(Scope scope) {
    const auto layout = property::readValue<AudioChannelLayout>(objectID(), at("srnd", scope));
    if (!layout) return std::nullopt;
    return layout->mNumberChannelDescriptions;
}

std::optional<std::string> AudioDevice::name(std::uint32_t channel, Scope scope) {
    auto name = property::readString(objectID(), at("lchn", scope, channel), true);
    if (!name || name->empty()) return std::nullopt;
    return name;
}

std::optional<bool> AudioDevice::isJackConnected(Scope scope) {
    const auto value = property::readScalar<std::uint32_t>(objectID(), at("jack", scope));
    if (!value) return std::nullopt;
    return *value != 0;
}

bool AudioDevice::isInputOnlyDevice() {
    return channels(Scope::output) == 0 && channels(Scope::input) != 0;
}

bool AudioDevice::isOutputOnlyDevice() {
    return channels(Scope::input) == 0 && channels(Scope::output) != 0;
}

std::optional<std::uint32_t> AudioDevice::latency(Scope scope) {
    return property::readScalar<std::uint32_t>(objectID(), at("ltnc", scope));
}

std::optional<std::uint32_t> AudioDevice::safetyOffset(Scope scope) {
    return property::readScalar<std::uint32_t>(objectID(), at("saft", scope));
}

std::optional<std::uint32_t> AudioDevice::bufferFrameSize(Scope scope) {
    return property::readScalar<std::uint32_t>(objectID(), at("fsiz", scope));
}

bool AudioDevice::setBufferFrameSize(std::uint32_t frames, Scope scope) {
    return property::write(objectID(), at("fsiz", scope), frames);
}

std::uint32_t AudioDevice::totalLatencyFrames(Scope scope) {
    std::uint32_t total = 0;
    for (const auto& stream :
         streams(scope).value_or(std::vector<std::shared_ptr<AudioStream>>{})) {
        total +=
            property::readValue<std::uint32_t>(stream->objectID(), address("ltnc")).value_or(0);
    }
    total += latency(scope).value_or(0);
    total += safetyOffset(scope).value_or(0);
    total += bufferFrameSize(scope).value_or(0);
    return total;
}

std::optional<double> AudioDevice::totalLatencySeconds(Scope scope) {
    const auto rate = actualSampleRate();
    if (!rate) {
        AudioLog::system().notice("Unable to get actualSampleRate from device");
        return std::nullopt;
    }
    return static_cast<double>(totalLatencyFrames(scope)) / *rate;
}

std::optional<std::vector<std::uint32_t>> AudioDevice::availableBufferFrameSizes() {
    const auto ranges =
        property::readList<AudioValueRange>(objectID(), address("fsz#", scope::wildcard));
    if (!ranges || ranges->empty()) return std::nullopt;
    auto accepted = [&](std::uint32_t frames) {
        return std::any_of(ranges->begin(), ranges->end(),
                           [&](const auto& range) { return inRange(frames, range); });
    };
    std::vector<std::uint32_t> sizes;
    // The smallest multiple of 16 from the first range leads, but only when the device takes it.
    const auto first =
        static_cast<std::uint32_t>(ranges->front().mMinimum + 15) & ~std::uint32_t{15};
    if (accepted(first)) sizes.push_back(first);
    for (std::uint32_t size : kStandardBufferSizes) {
        if (accepted(size) && std::find(sizes.begin(), sizes.end(), size) == sizes.end()) {
            sizes.push_back(size);
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

std::optional<double> AudioDevice::actualSampleRate() {
    return property::readScalar<double>(objectID(), address("asrt"));
}

std::optional<double> AudioDevice::nominalSampleRate() {
    return property::readScalar<double>(objectID(), address("nsrt"));
}

bool AudioDevice::setNominalSampleRate(double rate) {
    return property::write(objectID(), address("nsrt"), rate);
}

std::optional<std::vector<double>> AudioDevice::nominalSampleRates() {
    const auto ranges =
        property::readList<AudioValueRange>(objectID(), address("nsr#", scope::wildcard));
    if (!ranges) return std::nullopt;
    std::vector<double> rates;
    for (const auto& range : *ranges) {
        if (!(range.mMinimum < range.mMaximum)) {
            rates.push_back(range.mMinimum);
            continue;
        }
        const auto begin =
            std::find(kStandardSampleRates.begin(), kStandardSampleRates.end(), range.mMinimum);
        const auto last =
            std::find(kStandardSampleRates.begin(), kStandardSampleRates.end(), range.mMaximum);
        if (begin == kStandardSampleRates.end() || last == kStandardSampleRates.end()) {
            char message[256];
            std::snprintf(message, sizeof message,
                          "Failed to obtain list of supported sample rates ranging from %f to "
                          "%f. This is an error in AudioDeviceHub and should be reported to the "
                          "project maintainers.",
                          range.mMinimum, range.mMaximum);
            AudioLog::model().debug(message);
            continue;
        }
        rates.insert(rates.end(), begin, last + 1);
    }
    return rates;
}

}  // namespace pex
