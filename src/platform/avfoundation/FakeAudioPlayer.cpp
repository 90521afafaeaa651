#include "platform/avfoundation/FakeAudioPlayer.h"

#include <algorithm>

namespace pex {

FakeAudioPlayer::FakeAudioPlayer(double duration, std::shared_ptr<Journal> journal)
    : duration_(std::max(0.0, duration)), journal_(std::move(journal)) {}

FakeAudioPlayer::~FakeAudioPlayer() {
    journal_->destroyed = true;
}

AudioPlayer::Factory FakeAudioPlayer::factory(double duration, std::shared_ptr<Journal> journal) {
    return [duration, journal](const std::filesystem::path&) {
        journal->destroyed = false;
        return AudioPlayerLoad{std::make_unique<FakeAudioPlayer>(duration, journal), {}};
    };
}

double FakeAudioPlayer::elapsedSincePlay() const {
    return std::chrono::duration<double>(Clock::current()->now() - playedAt_).count();
}

void FakeAudioPlayer::settle() const {
    if (playing_ && position_ + elapsedSincePlay() >= duration_) {
        playing_ = false;
        position_ = 0;
    }
}

bool FakeAudioPlayer::prepareToPlay() {
    ++journal_->prepares;
    return true;
}

bool FakeAudioPlayer::play() {
    ++journal_->plays;
    settle();
    if (playing_) return true;
    if (position_ >= duration_) return false;
    playing_ = true;
    playedAt_ = Clock::current()->now();
    return true;
}

void FakeAudioPlayer::pause() {
    ++journal_->pauses;
    position_ = currentTime();
    playing_ = false;
}

void FakeAudioPlayer::stop() {
    ++journal_->stops;
    position_ = currentTime();
    playing_ = false;
}

bool FakeAudioPlayer::isPlaying() const {
    settle();
    return playing_;
}

double FakeAudioPlayer::currentTime() const {
    settle();
    return playing_ ? std::min(duration_, position_ + elapsedSincePlay()) : position_;
}

void FakeAudioPlayer::setCurrentTime(double seconds) {
    const bool wasPlaying = isPlaying();
    position_ = std::clamp(seconds, 0.0, duration_);
    if (wasPlaying) playedAt_ = Clock::current()->now();
}

}  // namespace pex
