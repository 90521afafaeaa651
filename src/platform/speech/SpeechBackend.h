#pragma once
// Where recognition happens. A backend checks configurations and makes one recognition session
// per recogniser; sessions read the push stream and raise events through a sink. The backend in
// use is chosen once, at first use: one installed with `setCurrent` (tests), else the one named
// by the environment variable PEXMORA_SPEECH_BACKEND, else the build's default.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech/AudioStreamFormat.h"
#include "platform/speech/RecognitionEventArgs.h"
#include "platform/speech/SpeechError.h"

namespace pex {

class PushAudioInputStream;

// What a recogniser asks of its session.
struct RecognitionRequest {
    std::string authorizationToken;
    std::string region;
    std::string recognitionLanguage;
    std::vector<std::string> targetLanguages;  // empty: recognition only
    std::shared_ptr<PushAudioInputStream> stream;
};

// Where a session raises its events; callable from any thread. Events reach the recogniser's
// handlers one at a time, in the order they were raised.
class RecognitionEventSink {
  public:
    virtual ~RecognitionEventSink() = default;
    virtual void raiseRecognizing(TranslationRecognitionResult result) = 0;
    virtual void raiseRecognized(TranslationRecognitionResult result) = 0;
    virtual void raiseCanceled(std::optional<std::string> errorDetails) = 0;
};

class RecognitionSession {
  public:
    virtual ~RecognitionSession() = default;  // stops first
    virtual std::optional<SpeechError> startContinuousRecognition() = 0;
    virtual void stopContinuousRecognition() = 0;
    virtual void setAuthorizationToken(const std::string& token) = 0;
};

class SpeechBackend {
  public:
    struct SessionResult {
        std::unique_ptr<RecognitionSession> session;
        std::optional<SpeechError> error;
    };
    using Factory = std::function<std::shared_ptr<SpeechBackend>()>;

    virtual ~SpeechBackend() = default;
    virtual std::optional<SpeechError> checkConfiguration(const std::string& authorizationToken,
                                                          const std::string& region) = 0;
    virtual SessionResult makeSession(const RecognitionRequest& request,
                                      std::shared_ptr<RecognitionEventSink> sink) = 0;

    // The backend in use; none when the chosen name is not known.
    static std::shared_ptr<SpeechBackend> current();
    // The name `current` chooses by (environment, then build default).
    static std::string chosenName();
    static void setCurrent(std::shared_ptr<SpeechBackend> backend);  // nullptr: choose again
    static void registerBackend(const std::string& name, Factory factory);
};

}  // namespace pex
