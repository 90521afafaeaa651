#include "platform/avfoundation/AudioPlayer.h"

#include <mutex>

#include "platform/avfoundation/PulseAudioFilePlayer.h"

namespace pex {

namespace {

std::mutex& factoryMutex() {
    static std::mutex mutex;
    return mutex;
}

AudioPlayer::Factory& installedFactory() {
    static AudioPlayer::Factory factory;
    return factory;
}

}  // namespace

AudioPlayerLoad AudioPlayer::load(const std::filesystem::path& file) {
    Factory factory;
    {
        std::lock_guard lock(factoryMutex());
        factory = installedFactory();
    }
    return factory ? factory(file) : PulseAudioFilePlayer::open(file);
}

void AudioPlayer::setFactoryForTesting(Factory factory) {
    std::lock_guard lock(factoryMutex());
    installedFactory() = std::move(factory);
}

}  // namespace pex
