#pragma once
// The real audio player: libsndfile reads the file a piece at a time as a PulseAudio playback
// stream asks for sound. Loading reads only the file's header, so a duration is known without a
// sound server; the server is reached when playback is prepared. Pausing, stopping and moving
// the position take the stream down and a new one starts where playback goes on, so the
// position is always the file's frame under the stream's own clock.
#include <memory>

#include "platform/avfoundation/AudioPlayer.h"

namespace pex {

class PulseAudioFilePlayer : public AudioPlayer {
  public:
    // The player of `file`, or libsndfile's reason why it cannot be read.
    static AudioPlayerLoad open(const std::filesystem::path& file);
    ~PulseAudioFilePlayer() override;

    bool prepareToPlay() override;
    bool play() override;
    void pause() override;
    void stop() override;
    bool isPlaying() const override;
    double currentTime() const override;
    void setCurrentTime(double seconds) override;
    double duration() const override;

    struct Engine;

  private:
    explicit PulseAudioFilePlayer(std::unique_ptr<Engine> engine);

    std::unique_ptr<Engine> engine_;
};

}  // namespace pex
