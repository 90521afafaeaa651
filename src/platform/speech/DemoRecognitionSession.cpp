#include "platform/speech/DemoRecognitionSession.h"

#include <algorithm>

#include "platform/audiotoolbox/AudioLevel.h"
#include "platform/foundation/ThreadLauncher.h"
#include "platform/speech/PushAudioInputStream.h"

namespace pex {

namespace {

constexpr std::size_t kFrameBytes = 640;  // 20 ms of 16 kHz 16-bit mono

}  // namespace

DemoRecognitionSession::DemoRecognitionSession(RecognitionRequest request,
                                               std::shared_ptr<RecognitionEventSink> sink,
                                               DemoScript script, DemoSpeechBackend::Timing timing)
    : request_(std::move(request)),
      sink_(std::move(sink)),
      script_(std::move(script)),
      timing_(timing) {}

DemoRecognitionSession::~DemoRecognitionSession() {
    stopContinuousRecognition();
}

std::optional<SpeechError> DemoRecognitionSession::startContinuousRecognition() {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable())
        thread_ = launchStoppableThread([this](std::stop_token stop) { run(stop); });
    return std::nullopt;
}

void DemoRecognitionSession::stopContinuousRecognition() {
    std::jthread thread;
    {
        std::lock_guard lock(mutex_);
        thread = std::move(thread_);
    }
    // Destroying a jthread asks it to stop and joins it; a read in progress wakes up.
}

void DemoRecognitionSession::setAuthorizationToken(const std::string&) {
    // No service to show the token to.
}

void DemoRecognitionSession::run(std::stop_token stop) {
    std::array<std::uint8_t, kFrameBytes> frame{};
    std::size_t filled = 0;
    while (!stop.stop_requested()) {
        const std::size_t read = request_.stream->read(std::span(frame).subspan(filled), stop);
        if (read == 0) break;  // the audio ended, or we are asked to stop
        filled += read;
        if (filled < kFrameBytes) continue;
        filled = 0;
        hear(AudioLevel::measure(frame).averagePower > timing_.soundThresholdDecibels);
    }
    // The end of the audio ends a sentence still being spoken.
    if (!stop.stop_requested() && inSentence_) finishSentence();
}

void DemoRecognitionSession::hear(bool sound) {
    if (sound) {
        inSentence_ = true;
        silentFrames_ = 0;
        ++soundFrames_;
        if (soundFrames_ % timing_.framesPerPartial == 0) {
            sink_->raiseRecognizing(
                resultFor(static_cast<std::size_t>(soundFrames_),
                          static_cast<std::size_t>(timing_.framesForFullSentence)));
        }
        return;
    }
    if (!inSentence_) return;
    if (++silentFrames_ >= timing_.silentFramesToFinish) finishSentence();
}

// The sentence (and its translations) shown in proportion to the sound heard so far.
TranslationRecognitionResult DemoRecognitionSession::resultFor(std::size_t shown,
                                                               std::size_t of) const {
    const DemoSentence& sentence = script_.sentences[sentence_ % script_.sentences.size()];
    auto textIn = [&](const std::string& code) -> std::optional<std::string> {
        const auto found = sentence.texts.find(DemoScript::primaryLanguage(code));
        if (found == sentence.texts.end()) return std::nullopt;
        const std::size_t units = DemoScript::unitCount(found->second);
        const std::size_t visible =
            std::max<std::size_t>(1, (units * std::min(shown, of) + of - 1) / of);
        return DemoScript::prefix(found->second, visible);
    };
    TranslationRecognitionResult result;
    // A recognition language the script lacks is heard as English.
    result.text = textIn(request_.recognitionLanguage);
    if (!result.text) result.text = textIn("en");
    for (const auto& target : request_.targetLanguages) {
        if (auto translated = textIn(target)) result.translations[target] = *translated;
    }
    return result;
}

void DemoRecognitionSession::finishSentence() {
    sink_->raiseRecognized(resultFor(1, 1));
    ++sentence_;
    inSentence_ = false;
    soundFrames_ = 0;
    silentFrames_ = 0;
}

}  // namespace pex
