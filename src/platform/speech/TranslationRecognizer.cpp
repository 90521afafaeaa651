#include "platform/speech/TranslationRecognizer.h"

namespace pex {

TranslationRecognizer::Result TranslationRecognizer::fromConfig(
    const std::shared_ptr<SpeechTranslationConfiguration>& translationConfiguration,
    const std::shared_ptr<AudioConfiguration>& audioConfiguration) {
    if (!translationConfiguration || !audioConfiguration) {
        return {nullptr, SpeechError{4, "a translation and an audio configuration are needed"}};
    }
    RecognitionRequest request;
    request.authorizationToken = translationConfiguration->authorizationToken();
    request.region = translationConfiguration->region();
    request.recognitionLanguage = translationConfiguration->speechRecognitionLanguage();
    request.targetLanguages = translationConfiguration->targetLanguages();
    request.stream = audioConfiguration->stream();
    auto core = std::make_shared<RecognizerCore>();
    SpeechBackend::SessionResult made =
        translationConfiguration->backend()->makeSession(request, core);
    if (!made.session) {
        return {nullptr, made.error.value_or(SpeechError{5, "the recognizer could not be made"})};
    }
    return {std::shared_ptr<TranslationRecognizer>(
                new TranslationRecognizer(std::move(made.session), core)),
            std::nullopt};
}

TranslationRecognizer::TranslationRecognizer(std::unique_ptr<RecognitionSession> session,
                                             std::shared_ptr<RecognizerCore> core)
    : session_(std::move(session)), core_(std::move(core)) {}

TranslationRecognizer::~TranslationRecognizer() {
    session_.reset();
    core_->detach();
}

void TranslationRecognizer::addRecognizedEventHandler(EventHandler handler) {
    core_->addRecognizedHandler(
        [handler = std::move(handler)](const TranslationRecognitionResult& r) {
            handler(TranslationRecognitionEventArgs{r});
        });
}

void TranslationRecognizer::addRecognizingEventHandler(EventHandler handler) {
    core_->addRecognizingHandler(
        [handler = std::move(handler)](const TranslationRecognitionResult& r) {
            handler(TranslationRecognitionEventArgs{r});
        });
}

void TranslationRecognizer::addCanceledEventHandler(CanceledHandler handler) {
    core_->addCanceledHandler(std::move(handler));
}

std::optional<SpeechError> TranslationRecognizer::startContinuousRecognition() {
    return session_->startContinuousRecognition();
}

void TranslationRecognizer::stopContinuousRecognition() {
    session_->stopContinuousRecognition();
}

void TranslationRecognizer::setAuthorizationToken(const std::string& token) {
    session_->setAuthorizationToken(token);
}

}  // namespace pex
