#pragma once
// An audio player for tests: a file of a given duration that "plays" on the current Clock, so a
// ManualClock moves its position. It reaches the end as the real player does: it stops and goes
// back to the start. What it was asked to do is counted in a journal the test may keep.
#include <memory>

#include "platform/avfoundation/AudioPlayer.h"
#include "platform/foundation/Clock.h"

namespace pex {

class FakeAudioPlayer : public AudioPlayer {
  public:
    struct Journal {
        int prepares = 0;
        int plays = 0;
        int pauses = 0;
        int stops = 0;
        bool destroyed = false;
    };

    explicit FakeAudioPlayer(double duration,
                             std::shared_ptr<Journal> journal = std::make_shared<Journal>());
    ~FakeAudioPlayer() override;

    // A factory that gives every file a player of `duration`, all writing to `journal`.
    static Factory factory(double duration, std::shared_ptr<Journal> journal);

    const std::shared_ptr<Journal>& journal() const { return journal_; }

    bool prepareToPlay() override;
    bool play() override;
    void pause() override;
    void stop() override;
    bool isPlaying() const override;
    double currentTime() const override;
    void setCurrentTime(double seconds) override;
    double duration() const override { return duration_; }

  private:
    // Notes an end reached since the last look.
    void settle() const;
    double elapsedSincePlay() const;

    double duration_;
    std::shared_ptr<Journal> journal_;
    mutable bool playing_ = false;
    mutable double position_ = 0;  // while playing: the position when play began
    Clock::TimePoint playedAt_{};
};

}  // namespace pex
