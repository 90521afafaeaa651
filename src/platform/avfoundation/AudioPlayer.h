#pragma once
// Plays one audio file: load it, prepare, play, pause, stop, read or move the position, read the
// duration. When playback reaches the end by itself the player stops and goes back to the start.
// Players are made by `load`, which the application leaves to the real player (libsndfile
// reading the file, a PulseAudio playback stream) and tests hand to a fake. Used from the main
// thread.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace pex {

class AudioPlayer;

// A loaded player, or the reason there is none.
struct AudioPlayerLoad {
    std::unique_ptr<AudioPlayer> player;
    std::string error;
};

class AudioPlayer {
  public:
    using Factory = std::function<AudioPlayerLoad(const std::filesystem::path& file)>;

    virtual ~AudioPlayer() = default;

    // Opens `file` for playback with the installed factory.
    static AudioPlayerLoad load(const std::filesystem::path& file);
    // Tests: makes every later `load` use `factory`; an empty one restores the real player.
    static void setFactoryForTesting(Factory factory);

    // Readies playback (connects to the sound output); play does it too when needed.
    virtual bool prepareToPlay() = 0;
    // Plays from the current position; false when the sound output cannot be reached.
    virtual bool play() = 0;
    // Stops the sound and keeps the position.
    virtual void pause() = 0;
    // Stops the sound and releases what playback held; the position stays.
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    // Seconds from the start.
    virtual double currentTime() const = 0;
    // Moves the position (clamped to the file); playback, if running, goes on from there.
    virtual void setCurrentTime(double seconds) = 0;
    // Seconds; 0 for a file without sound.
    virtual double duration() const = 0;
};

}  // namespace pex
