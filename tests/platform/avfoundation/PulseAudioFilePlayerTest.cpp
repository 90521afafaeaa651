// The real player reads a recording's length from the file itself, without a sound server, and
// says so when the file cannot be read or no sound output can be reached.
#include <sndfile.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/avfoundation/AudioPlayer.h"
#include "support/PulseAudioServer.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

// Writes `seconds` of a quiet tone as 32-bit float mono WAV at `rate`, as recordings are stored.
void writeWav(const std::filesystem::path& file, int rate, double seconds) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<std::size_t>(rate * seconds), 0.01f);
    EXPECT_EQ(sf_writef_float(out, samples.data(), static_cast<sf_count_t>(samples.size())),
              static_cast<sf_count_t>(samples.size()));
    sf_close(out);
}

class PulseAudioFilePlayerTest : public ::testing::Test {
  protected:
    TempDir dir_;
};

TEST_F(PulseAudioFilePlayerTest, ReadsTheDurationOfARecording) {
    const struct {
        int rate;
        double seconds;
    } cases[] = {{16000, 65}, {8000, 3725}, {16000, 0.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        const auto file = dir_.path() / "recording.wav";
        writeWav(file, c.rate, c.seconds);
        AudioPlayerLoad loaded = AudioPlayer::load(file);
        ASSERT_NE(loaded.player, nullptr) << loaded.error;
        EXPECT_DOUBLE_EQ(loaded.player->duration(), c.seconds);
        EXPECT_DOUBLE_EQ(loaded.player->currentTime(), 0);
        EXPECT_FALSE(loaded.player->isPlaying());
        // Moving the position needs no sound server either; it stays within the file.
        loaded.player->setCurrentTime(c.seconds / 2);
        EXPECT_NEAR(loaded.player->currentTime(), c.seconds / 2, 1.0 / c.rate);
        loaded.player->setCurrentTime(c.seconds * 3);
        EXPECT_DOUBLE_EQ(loaded.player->currentTime(), c.seconds);
    }
}

TEST_F(PulseAudioFilePlayerTest, AnEmptyRecordingLastsNothingAndAMissingOneDoesNotLoad) {
    const auto empty = dir_.path() / "empty.wav";
    writeWav(empty, 16000, 0);
    AudioPlayerLoad loaded = AudioPlayer::load(empty);
    ASSERT_NE(loaded.player, nullptr) << loaded.error;
    EXPECT_EQ(loaded.player->duration(), 0);

    AudioPlayerLoad missing = AudioPlayer::load(dir_.path() / "missing.wav");
    EXPECT_EQ(missing.player, nullptr);
    EXPECT_FALSE(missing.error.empty());

    const auto text = dir_.path() / "notes.wav";
    std::ofstream(text) << "not a recording";
    EXPECT_EQ(AudioPlayer::load(text).player, nullptr);
}

TEST_F(PulseAudioFilePlayerTest, WithoutASoundServerPlayingFailsAndThePositionStays) {
    const auto file = dir_.path() / "recording.wav";
    writeWav(file, 16000, 2);
    const auto socket = dir_.path() / "no-server" / "native";
    const char* previous = getenv("PULSE_SERVER");
    const std::string saved = previous ? previous : "";
    setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
    {
        AudioPlayerLoad loaded = AudioPlayer::load(file);
        ASSERT_NE(loaded.player, nullptr) << loaded.error;
        loaded.player->setCurrentTime(1);
        EXPECT_FALSE(loaded.player->prepareToPlay());
        EXPECT_FALSE(loaded.player->play());
        EXPECT_FALSE(loaded.player->isPlaying());
        EXPECT_DOUBLE_EQ(loaded.player->currentTime(), 1);
        loaded.player->pause();
        loaded.player->stop();
        EXPECT_DOUBLE_EQ(loaded.player->currentTime(), 1);
    }
    if (previous) {
        setenv("PULSE_SERVER", saved.c_str(), 1);
    } else {
        unsetenv("PULSE_SERVER");
    }
}

// Polls `done` while the sound server plays in real time; false after five seconds.
bool waitForSound(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(PulseAudioFilePlayerTest, PlaysIntoASoundServerPausesSeeksAndStopsAtTheEnd) {
    test::PulseAudioServer::Options options;
    options.defaultSink = "speakers";
    test::PulseAudioServer server(options);
    ASSERT_TRUE(server.isRunning()) << server.log();
    const auto file = dir_.path() / "recording.wav";
    writeWav(file, 16000, 1.0);
    AudioPlayerLoad loaded = AudioPlayer::load(file);
    ASSERT_NE(loaded.player, nullptr) << loaded.error;
    AudioPlayer& player = *loaded.player;

    ASSERT_TRUE(player.prepareToPlay());
    ASSERT_TRUE(player.play());
    EXPECT_TRUE(player.isPlaying());
    ASSERT_TRUE(waitForSound([&] { return player.currentTime() > 0.2; }));

    // A pause keeps the position reached.
    player.pause();
    EXPECT_FALSE(player.isPlaying());
    const double pausedAt = player.currentTime();
    EXPECT_GT(pausedAt, 0.2);
    EXPECT_LT(pausedAt, 1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(player.currentTime(), pausedAt);

    // From a later place playback runs to the end, stops and goes back to the start.
    player.setCurrentTime(0.8);
    EXPECT_NEAR(player.currentTime(), 0.8, 0.001);
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(waitForSound([&] { return !player.isPlaying(); }));
    EXPECT_EQ(player.currentTime(), 0);
    // And it plays again from there.
    ASSERT_TRUE(player.play());
    EXPECT_TRUE(player.isPlaying());
    player.stop();
    EXPECT_FALSE(player.isPlaying());

    // A sound server that goes away mid-playback ends it; the player does not hang on.
    ASSERT_TRUE(player.play());
    server.kill();
    EXPECT_TRUE(waitForSound([&] { return !player.isPlaying(); }));
    EXPECT_FALSE(player.play());
}

}  // namespace
}  // namespace pex::test
