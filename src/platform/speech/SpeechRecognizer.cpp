#include "platform/speech/SpeechRecognizer.h"

namespace pex {

SpeechRecognizer::Result SpeechRecognizer::fromConfig(
    const std::shared_ptr<SpeechConfiguration>& speechConfiguration,
    const std::shared_ptr<AudioConfiguration>& audioConfiguration) {
    if (!speechConfiguration || !audioConfiguration) {
        return {nullptr, SpeechError{4, "a speech and an audio configuration are needed"}};
    }
    RecognitionRequest request;
    request.authorizationToken = speechConfiguration->authorizationToken();
    request.region = speechConfiguration->region();
    request.recognitionLanguage = speechConfiguration->speechRecognitionLanguage();
    request.stream = audioConfiguration->stream();
    auto core = std::make_shared<RecognizerCore>();
    SpeechBackend::SessionResult made = speechConfiguration->backend()->makeSession(request, core);
    if (!made.session) {
        return {nullptr, made.error.value_or(SpeechError{5, "the recognizer could not be made"})};
    }
    return {std::shared_ptr<SpeechRecognizer>(new SpeechRecognizer(std::move(made.session), core)),
            std::nullopt};
}

SpeechRecognizer::SpeechRecognizer(std::unique_ptr<RecognitionSession> session,
                                   std::shared_ptr<RecognizerCore> core)
    : session_(std::move(session)), core_(std::move(core)) {}

SpeechRecognizer::~SpeechRecognizer() {
    session_.reset();
    core_->detach();
}

void SpeechRecognizer::addRecognizedEventHandler(EventHandler handler) {
    core_->addRecognizedHandler(
        [handler = std::move(handler)](const TranslationRecognitionResult& r) {
            handler(SpeechRecognitionEventArgs{SpeechRecognitionResult{r.text}});
        });
}

void SpeechRecognizer::addRecognizingEventHandler(EventHandler handler) {
    core_->addRecognizingHandler(
        [handler = std::move(handler)](const TranslationRecognitionResult& r) {
            handler(SpeechRecognitionEventArgs{SpeechRecognitionResult{r.text}});
        });
}

void SpeechRecognizer::addCanceledEventHandler(CanceledHandler handler) {
    core_->addCanceledHandler(std::move(handler));
}

std::optional<SpeechError> SpeechRecognizer::startContinuousRecognition() {
    return session_->startContinuousRecognition();
}

void SpeechRecognizer::stopContinuousRecognition() {
    session_->stopContinuousRecognition();
}

void SpeechRecognizer::setAuthorizationToken(const std::string& token) {
    session_->setAuthorizationToken(token);
}

}  // namespace pex
