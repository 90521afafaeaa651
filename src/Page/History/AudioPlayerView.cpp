#include "Page/History/AudioPlayerView.h"

#include <QSignalBlocker>
#include <cmath>

#include "Page/History/RecordingFile.h"
#include "Tools/AppImages.h"
#include "Tools/ClickGestureRecognizer.h"
#include "Tools/ViewHelpers.h"
#include "platform/appkit/SystemFont.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {
constexpr int kLabelTop = 10;
constexpr int kLabelLeft = 50;
constexpr int kLabelWidth = 50;
constexpr int kDurationRightInset = 10;
constexpr int kSliderGap = 8;
constexpr int kSliderHeight = 30;
constexpr int kButtonSide = 23;
constexpr int kButtonGap = 11;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

QLabel* makeTimeLabel(QWidget* parent) {
    QLabel* label = makeTextLabel(QStringLiteral("00:00"), parent);
    label->setFont(systemFont(14));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(false);
    label->setEnabled(false);
    setTextColor(label, Color::grey(0, 0.85));
    return label;
}
}  // namespace

QString formatPlaybackTime(double seconds) {
    const long long s = std::isfinite(seconds) && seconds > 0 ? static_cast<long long>(seconds) : 0;
    if (s < 3600) {
        return QString::asprintf("%02lld:%02lld", (s % 3600) / 60, s % 60);
    }
    return QString::asprintf("%02lld:%02lld:%02lld", s / 3600, (s % 3600) / 60, s % 60);
}

AudioPlayerView::AudioPlayerView(QWidget* parent)
    : LayerBackedView(parent),
      currentTimeLabel_(makeTimeLabel(this)),
      durationLabel_(makeTimeLabel(this)),
      playButton_(new ImageView(this)),
      progressSlider_(new QSlider(Qt::Horizontal, this)) {
    progressSlider_->setRange(0, kSliderSteps);
    progressSlider_->setValue(0);
    progressSlider_->setTracking(true);
    progressSlider_->setFocusPolicy(Qt::NoFocus);
    connect(progressSlider_, &QSlider::valueChanged, this, [this] { sliderValueChanged(); });
    setPlayImage(QStringLiteral("wav_play"));
    ClickGestureRecognizer::attach(playButton_, [this](ClickGestureRecognizer&) { didTap(); });
    layoutSubviews();
}

AudioPlayerView::~AudioPlayerView() {
    stopTimer();
}

void AudioPlayerView::setPlayImage(const QString& name) {
    playImageName_ = name;
    playButton_->setImage(AppImages::named(name));
    playButton_->setAccessibleName(name == QStringLiteral("wav_stop") ? QStringLiteral("暂停")
                                                                      : QStringLiteral("播放"));
}

void AudioPlayerView::stopTimer() {
    if (timer_) timer_->cancel();
    timer_.reset();
}

double AudioPlayerView::sliderValue() const {
    return static_cast<double>(progressSlider_->value()) / kSliderSteps;
}

void AudioPlayerView::setSliderValue(double value) {
    const double clamped = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
    progressSlider_->setValue(static_cast<int>(std::lround(clamped * kSliderSteps)));
}

void AudioPlayerView::load(const std::string& name) {
    const auto file = recordingFilePath(name);
    if (!file) {
        consoleLog("音频加载失败: no recording named \"" + name + "\"");
        return;
    }
    preparePlayer(*file);
}

void AudioPlayerView::preparePlayer(const std::filesystem::path& file) {
    AudioPlayerLoad loaded = AudioPlayer::load(file);
    if (!loaded.player) {
        consoleLog("音频加载失败: " + loaded.error);
        return;
    }
    player_ = std::move(loaded.player);
    player_->prepareToPlay();
    durationLabel_->setText(formatPlaybackTime(player_->duration()));
    if (player_->duration() == 0) isCanPlay = false;
}

void AudioPlayerView::didTap() {
    togglePlayback();
}

void AudioPlayerView::togglePlayback() {
    if (!isCanPlay || !player_) return;
    if (player_->isPlaying()) {
        player_->pause();
        setPlayImage(QStringLiteral("wav_play"));
        stopTimer();
        isCurentPlaying = false;
        return;
    }
    if (!player_->play()) {
        // No sound output: stay as it was rather than show a player that plays nothing.
        consoleLog("音频播放失败: the sound output cannot be reached");
        return;
    }
    setPlayImage(QStringLiteral("wav_stop"));
    startProgressTimer();
    isCurentPlaying = true;
}

void AudioPlayerView::startProgressTimer() {
    stopTimer();
    timer_ = std::make_unique<DispatchTimer>(DispatchQueue::main(), kProgressInterval,
                                             [this] { updateProgress(); });
    timer_->resume();
}

void AudioPlayerView::updateProgress() {
    if (!player_) return;
    const double now = player_->currentTime();
    const double duration = player_->duration();
    currentTimeLabel_->setText(formatPlaybackTime(now));
    {
        const QSignalBlocker quiet(progressSlider_);
        setSliderValue(duration > 0 ? now / duration : 0);
    }
    if (!player_->isPlaying()) {
        setPlayImage(QStringLiteral("wav_play"));
        stopTimer();
    }
}

void AudioPlayerView::sliderValueChanged() {
    const double target = sliderValue() * (player_ ? player_->duration() : 0);
    currentTimeLabel_->setText(formatPlaybackTime(target));
    if (!player_) return;
    player_->setCurrentTime(target);
    if (isCurentPlaying) {
        if (!player_->isPlaying() && !player_->play()) return;
        setPlayImage(QStringLiteral("wav_stop"));
        startProgressTimer();
    }
}

void AudioPlayerView::stop() {
    if (!player_) return;
    if (player_->isPlaying()) player_->stop();
    player_.reset();
    stopTimer();
}

void AudioPlayerView::layoutSubviews() {
    const int labelHeight = currentTimeLabel_->sizeHint().height();
    currentTimeLabel_->setGeometry(kLabelLeft, kLabelTop, kLabelWidth, labelHeight);
    durationLabel_->setGeometry(width() - kDurationRightInset - kLabelWidth, kLabelTop, kLabelWidth,
                                labelHeight);
    const int centreY = kLabelTop + labelHeight / 2;
    const int sliderLeft = kLabelLeft + kLabelWidth + kSliderGap;
    const int sliderRight = durationLabel_->x() - kSliderGap;
    progressSlider_->setGeometry(sliderLeft, centreY - kSliderHeight / 2,
                                 std::max(0, sliderRight - sliderLeft), kSliderHeight);
    playButton_->setGeometry(kLabelLeft - kButtonGap - kButtonSide, centreY - kButtonSide / 2,
                             kButtonSide, kButtonSide);
}

}  // namespace pex
