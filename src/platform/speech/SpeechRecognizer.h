#pragma once
// Continuous recognition of one language from a push stream. Handlers run on the recogniser's
// event thread, one event at a time, in the order raised. Dropping the recogniser stops
// recognition and releases its handlers.
#include <functional>
#include <memory>
#include <optional>

#include "platform/speech/AudioConfiguration.h"
#include "platform/speech/RecognitionEventArgs.h"
#include "platform/speech/RecognizerCore.h"
#include "platform/speech/SpeechConfiguration.h"

namespace pex {

class SpeechRecognizer {
  public:
    using EventHandler = std::function<void(const SpeechRecognitionEventArgs&)>;
    using CanceledHandler = std::function<void(const RecognitionCanceledEventArgs&)>;
    struct Result {
        std::shared_ptr<SpeechRecognizer> recognizer;
        std::optional<SpeechError> error;
    };

    static Result fromConfig(const std::shared_ptr<SpeechConfiguration>& speechConfiguration,
                             const std::shared_ptr<AudioConfiguration>& audioConfiguration);
    ~SpeechRecognizer();
    SpeechRecognizer(const SpeechRecognizer&) = delete;
    SpeechRecognizer& operator=(const SpeechRecognizer&) = delete;

    void addRecognizedEventHandler(EventHandler handler);
    void addRecognizingEventHandler(EventHandler handler);
    void addCanceledEventHandler(CanceledHandler handler);

    std::optional<SpeechError> startContinuousRecognition();
    void stopContinuousRecognition();
    void setAuthorizationToken(const std::string& token);

  private:
    SpeechRecognizer(std::unique_ptr<RecognitionSession> session,
                     std::shared_ptr<RecognizerCore> core);

    std::unique_ptr<RecognitionSession> session_;
    std::shared_ptr<RecognizerCore> core_;
};

}  // namespace pex
