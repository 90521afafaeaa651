#pragma once
// Turns one session's audio into text: sets up plain recognition or recognition with
// translation from an authorisation token and region, feeds the recogniser with the shared
// recorder's 640-byte frames through a push stream, and reports partial results, final results
// and errors through the callbacks below, always on the main queue and in the order the
// recogniser raised them.
//
// The tool must be owned by a std::shared_ptr (the set-ups hand out weak references to it).
// Set-ups, `startRecording` and `updateToken` run on the main thread; `stop` may run on any
// thread. A stopped tool is not started again.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/speech/AudioConfiguration.h"
#include "platform/speech/PushAudioInputStream.h"
#include "platform/speech/SpeechConfiguration.h"
#include "platform/speech/SpeechRecognizer.h"
#include "platform/speech/TranslationRecognizer.h"

namespace pex {

class SpeechRecognitionTool : public std::enable_shared_from_this<SpeechRecognitionTool> {
  public:
    using TextCallback = std::function<void(const std::string& text)>;
    using TranslationCallback =
        std::function<void(const std::string& sourceText, const std::string& translation)>;

    SpeechRecognitionTool(std::string token, std::string region);

    // Set by the caller, on the main thread, before the set-up and `startRecording`.
    std::string audiofileName;
    int method = 1;  // 0: the plain recogniser is in use; otherwise the translation recogniser
    std::atomic<bool> isRecognizing{false};
    TextCallback onResultCallback;
    TextCallback onIntermediateResultCallback;
    TextCallback onErrorCallback;
    TranslationCallback onTranslationIntermediateCallback;
    TranslationCallback onTranslationResultCallback;
    // Capture could not start or died while this tool records (main queue).
    TextCallback onCaptureFailed;
    // The recording file could not be made or written (main queue); once per recording.
    TextCallback onRecordingFailed;

    void stop();
    void updateToken(const std::string& token);
    void setupRecognizer(const std::string& language);
    void setupTranslationRecognizer(const std::string& sourceLanguage,
                                    const std::string& targetLanguage);
    void startRecording();

    std::optional<std::string> token() const;
    std::optional<std::string> region() const { return region_; }
    std::shared_ptr<SpeechConfiguration> speechConfig() const;
    std::shared_ptr<AudioConfiguration> audioConfig() const;
    std::shared_ptr<SpeechRecognizer> recognizer() const;
    std::shared_ptr<TranslationRecognizer> translationRecognizer() const;
    std::shared_ptr<PushAudioInputStream> pushStream() const;

  private:
    void failSetup(const char* logPrefix, const char* messagePrefix, const SpeechError& error);
    // Runs `deliver` on the main queue unless the tool has stopped; the tool stays alive until
    // it has run.
    void postToMain(std::function<void(SpeechRecognitionTool&)> deliver);
    // The handler that reports a cancelled recognition (plain or with translation) as an error.
    static std::function<void(const RecognitionCanceledEventArgs&)> reportCancellation(
        std::weak_ptr<SpeechRecognitionTool> weak);
    // A copy of one of the guarded members, taken under the lock.
    template <typename T>
    T locked(const T& member) const {
        std::lock_guard lock(mutex_);
        return member;
    }

    mutable std::mutex mutex_;  // guards the recognition objects and the token
    std::optional<std::string> token_;
    const std::optional<std::string> region_;
    std::shared_ptr<SpeechConfiguration> speechConfig_;
    std::shared_ptr<AudioConfiguration> audioConfig_;
    std::shared_ptr<SpeechRecognizer> recognizer_;
    std::shared_ptr<TranslationRecognizer> translationRecognizer_;
    std::shared_ptr<PushAudioInputStream> pushStream_;
    std::atomic<bool> stopped_{false};
    // The shared recorder's recording this tool started: its stop ends that one only.
    std::atomic<std::uint64_t> recording_{0};
};

}  // namespace pex
