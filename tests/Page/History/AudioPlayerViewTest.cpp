// The recording player: its time text, and its states on a fake player timed by a manual clock:
// play and pause, seeking while paused, while playing and after the end, a 0-second recording,
// a recording that does not load, and stop.
#include <gtest/gtest.h>

#include "Page/History/AudioPlayerView.h"
#include "platform/avfoundation/FakeAudioPlayer.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/StandardFolders.h"
#include "purchase/ConsoleCapture.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex::test {
namespace {

using namespace std::chrono_literals;

TEST(FormatPlaybackTimeTest, ShowsMinutesAndSecondsAndHoursFromAnHourOn) {
    const std::pair<double, const char*> cases[] = {
        {0, "00:00"},       {59.9, "00:59"},    {65, "01:05"}, {3599.99, "59:59"},
        {3600, "01:00:00"}, {3725, "01:02:05"}, {-3, "00:00"}, {36000, "10:00:00"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(formatPlaybackTime(seconds), QString::fromLatin1(text)) << seconds;
    }
}

class AudioPlayerViewTest : public IsolatedTest {
  protected:
    ~AudioPlayerViewTest() override { AudioPlayer::setFactoryForTesting(nullptr); }

    // Loads "interview" as a recording of `duration` seconds into a shown player view.
    AudioPlayerView& loadRecording(double duration) {
        AudioPlayer::setFactoryForTesting([this, duration](const std::filesystem::path& file) {
            loadedFile_ = file;
            return FakeAudioPlayer::factory(duration, journal_)(file);
        });
        view_.resize(460, 30);
        view_.show();
        view_.load("interview");
        return view_;
    }
    // Moves time on and runs the progress updates that fell due.
    void advance(std::chrono::milliseconds by) {
        clock_.clock().advance(by);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    double position() const { return view_.player() ? view_.player()->currentTime() : -1; }

    ScopedManualClock clock_;
    std::shared_ptr<FakeAudioPlayer::Journal> journal_ =
        std::make_shared<FakeAudioPlayer::Journal>();
    std::filesystem::path loadedFile_;
    AudioPlayerView view_;
};

TEST_F(AudioPlayerViewTest, LoadsTheRecordingOfTheNameFromTheDocumentsFolder) {
    AudioPlayerView& view = loadRecording(65);
    EXPECT_EQ(loadedFile_, StandardFolders::documents() / "interview.wav");
    EXPECT_EQ(journal_->prepares, 1);
    EXPECT_EQ(view.durationLabel()->text(), QStringLiteral("01:05"));
    EXPECT_EQ(view.currentTimeLabel()->text(), QStringLiteral("00:00"));
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_play"));
    EXPECT_TRUE(view.isCanPlay);
    // The control sits left of the elapsed time, the slider between the two times.
    EXPECT_EQ(view.currentTimeLabel()->geometry().left(), 50);
    EXPECT_EQ(view.playButton()->geometry().size(), QSize(23, 23));
    EXPECT_EQ(view.playButton()->geometry().right() + 1, 50 - 11);
    EXPECT_EQ(view.progressSlider()->geometry().left(), 108);
    EXPECT_EQ(view.durationLabel()->geometry().right() + 1, 450);
}

TEST_F(AudioPlayerViewTest, PlaysPausesAndSeeks) {
    AudioPlayerView& view = loadRecording(60);
    click(view.playButton());
    EXPECT_TRUE(view.player()->isPlaying());
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_stop"));
    EXPECT_TRUE(view.hasProgressTimer());
    EXPECT_TRUE(view.isCurentPlaying);

    advance(2050ms);
    EXPECT_EQ(view.currentTimeLabel()->text(), QStringLiteral("00:02"));
    EXPECT_NEAR(view.sliderValue(), 2.0 / 60, 0.001);

    // Pressing again pauses where it was; the time stands still.
    click(view.playButton());
    EXPECT_FALSE(view.player()->isPlaying());
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_play"));
    EXPECT_FALSE(view.hasProgressTimer());
    EXPECT_FALSE(view.isCurentPlaying);
    const double pausedAt = position();
    EXPECT_NEAR(pausedAt, 2.0, 0.1);
    advance(5s);
    EXPECT_EQ(position(), pausedAt);
    EXPECT_EQ(view.currentTimeLabel()->text(), QStringLiteral("00:02"));

    // Dragging while paused only moves the position.
    view.setSliderValue(0.5);
    EXPECT_EQ(view.currentTimeLabel()->text(), QStringLiteral("00:30"));
    EXPECT_DOUBLE_EQ(position(), 30);
    EXPECT_FALSE(view.player()->isPlaying());
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_play"));

    // Playing on from there, then dragging while playing plays on from the new place.
    click(view.playButton());
    view.setSliderValue(0.25);
    EXPECT_TRUE(view.player()->isPlaying());
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_stop"));
    advance(1050ms);
    EXPECT_EQ(view.currentTimeLabel()->text(), QStringLiteral("00:16"));
}

TEST_F(AudioPlayerViewTest, AfterTheEndASeekPlaysOnFromThere) {
    AudioPlayerView& view = loadRecording(3);
    click(view.playButton());
    advance(3200ms);
    EXPECT_FALSE(view.player()->isPlaying());
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_play"));
    EXPECT_FALSE(view.hasProgressTimer());
    EXPECT_TRUE(view.isCurentPlaying) << "the end is not a pause";

    view.setSliderValue(0.5);
    EXPECT_TRUE(view.player()->isPlaying());
    EXPECT_DOUBLE_EQ(position(), 1.5);
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_stop"));
    EXPECT_TRUE(view.hasProgressTimer());
}

TEST_F(AudioPlayerViewTest, StopReleasesThePlayer) {
    AudioPlayerView& view = loadRecording(60);
    click(view.playButton());
    view.stop();
    EXPECT_EQ(view.player(), nullptr);
    EXPECT_TRUE(journal_->destroyed);
    EXPECT_EQ(journal_->stops, 1);
    EXPECT_FALSE(view.hasProgressTimer());
    // Without a player the control and the slider do nothing but show the time.
    click(view.playButton());
    EXPECT_EQ(journal_->plays, 1);
    view.setSliderValue(0.5);
    EXPECT_EQ(view.currentTimeLabel()->text(), QStringLiteral("00:00"));
    view.stop();  // twice is harmless
}

TEST_F(AudioPlayerViewTest, ARecordingOfNoLengthNeverPlays) {
    AudioPlayerView& view = loadRecording(0);
    EXPECT_FALSE(view.isCanPlay);
    EXPECT_EQ(view.durationLabel()->text(), QStringLiteral("00:00"));
    click(view.playButton());
    EXPECT_EQ(journal_->plays, 0);
    EXPECT_EQ(view.playImageName(), QStringLiteral("wav_play"));
}

TEST_F(AudioPlayerViewTest, ARecordingThatDoesNotLoadLeavesTheControlInert) {
    ConsoleCapture console;
    AudioPlayer::setFactoryForTesting([](const std::filesystem::path&) {
        return AudioPlayerLoad{nullptr, "no such file"};
    });
    view_.load("missing");
    EXPECT_EQ(console.linesStartingWith("音频加载失败: no such file"), 1);
    EXPECT_EQ(view_.player(), nullptr);
    EXPECT_EQ(view_.durationLabel()->text(), QStringLiteral("00:00"));
    view_.didTap();
    EXPECT_FALSE(view_.hasProgressTimer());
    // A name that would leave the Documents folder is not even looked for.
    view_.load("../outside");
    EXPECT_EQ(console.linesStartingWith("音频加载失败: "), 2);
}

}  // namespace
}  // namespace pex::test
