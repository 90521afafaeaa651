#include "platform/audiotoolbox/AudioInputQueue.h"

#include "platform/audiotoolbox/PulseAudioInputQueue.h"

namespace pex {

namespace {

std::mutex& factoryMutex() {
    static std::mutex mutex;
    return mutex;
}

AudioInputQueue::Factory& installedFactory() {
    static AudioInputQueue::Factory factory;
    return factory;
}

}  // namespace

AudioInputQueueResult AudioInputQueue::create(const AudioCaptureFormat& format,
                                              InputCallback onInput, FailureCallback onFailure) {
    Factory factory;
    {
        std::lock_guard lock(factoryMutex());
        factory = installedFactory();
    }
    if (!factory)
        return PulseAudioInputQueue::create(format, std::move(onInput), std::move(onFailure));
    return factory(format, std::move(onInput), std::move(onFailure));
}

void AudioInputQueue::setFactory(Factory factory) {
    std::lock_guard lock(factoryMutex());
    installedFactory() = std::move(factory);
}

AudioInputQueue::AudioInputQueue(InputCallback onInput, FailureCallback onFailure)
    : onInput_(std::move(onInput)), onFailure_(std::move(onFailure)) {}

void AudioInputQueue::setMeteringEnabled(bool enabled) {
    std::lock_guard lock(levelMutex_);
    metering_ = enabled;
    if (!enabled) level_.reset();
}

std::optional<AudioLevel> AudioInputQueue::currentLevel() const {
    std::lock_guard lock(levelMutex_);
    return level_;
}

void AudioInputQueue::deliver(std::span<const std::uint8_t> bytes) {
    bool metering;
    {
        std::lock_guard lock(levelMutex_);
        metering = metering_;
    }
    if (metering) {
        const AudioLevel level = AudioLevel::measure(bytes);
        std::lock_guard lock(levelMutex_);
        level_ = level;
    }
    if (onInput_) onInput_(bytes);
}

void AudioInputQueue::fail(const AudioQueueError& error) {
    std::call_once(failed_, [&] {
        if (onFailure_) onFailure_(error);
    });
}

}  // namespace pex
