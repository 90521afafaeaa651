#pragma once
// The player of a session's recording inside a detail pop-up: a play/pause image, the elapsed
// time, a slider that shows the progress and seeks, and the total time. The recording is
// "<name>.wav" in the Documents folder. While playing, the progress is read every 0.1 s on the
// main queue (on the current Clock). A recording of 0 s never plays.
#include <QLabel>
#include <QSlider>
#include <QString>
#include <filesystem>
#include <memory>

#include "Tools/ImageView.h"
#include "Tools/LayerBackedView.h"
#include "platform/avfoundation/AudioPlayer.h"
#include "platform/foundation/DispatchTimer.h"

namespace pex {

// "mm:ss" below an hour, "hh:mm:ss" from an hour on; the fraction of a second is dropped.
QString formatPlaybackTime(double seconds);

class AudioPlayerView : public LayerBackedView {
    Q_OBJECT
  public:
    static constexpr int kSliderSteps = 10000;

    explicit AudioPlayerView(QWidget* parent = nullptr);
    ~AudioPlayerView() override;

    // Loads the recording "<name>.wav" from the Documents folder.
    void load(const std::string& name);
    // Makes the player of `file`; on failure writes "音频加载失败: " and the reason and keeps
    // what there was.
    void preparePlayer(const std::filesystem::path& file);

    // The play/pause control.
    void didTap();
    void togglePlayback();
    void startProgressTimer();
    void updateProgress();
    // The slider moved (by the user): shows and seeks to that share of the recording.
    void sliderValueChanged();
    // Stops the sound and releases the player; load is needed before it can play again.
    void stop();

    // False when the loaded recording lasts 0 s.
    bool isCanPlay = true;
    // The last state chosen with the play/pause control.
    bool isCurentPlaying = false;

    AudioPlayer* player() const { return player_.get(); }
    bool hasProgressTimer() const { return timer_ != nullptr; }
    QLabel* currentTimeLabel() const { return currentTimeLabel_; }
    QLabel* durationLabel() const { return durationLabel_; }
    ImageView* playButton() const { return playButton_; }
    QSlider* progressSlider() const { return progressSlider_; }
    // The slider's value, 0...1.
    double sliderValue() const;
    void setSliderValue(double value);
    // "wav_play" or "wav_stop".
    const QString& playImageName() const { return playImageName_; }

  protected:
    void layoutSubviews() override;

  private:
    void setPlayImage(const QString& name);
    void stopTimer();

    std::unique_ptr<AudioPlayer> player_;
    std::unique_ptr<DispatchTimer> timer_;
    QLabel* currentTimeLabel_;
    QLabel* durationLabel_;
    ImageView* playButton_;
    QSlider* progressSlider_;
    QString playImageName_;
};

}  // namespace pex
