#include "platform/speech/RecognizerCore.h"

namespace pex {

RecognizerCore::RecognizerCore() : events_(DispatchQueue::serial("speech.recognizer.events")) {}

void RecognizerCore::addRecognizedHandler(ResultHandler handler) {
    std::lock_guard lock(mutex_);
    recognized_.push_back(std::move(handler));
}

void RecognizerCore::addRecognizingHandler(ResultHandler handler) {
    std::lock_guard lock(mutex_);
    recognizing_.push_back(std::move(handler));
}

void RecognizerCore::addCanceledHandler(CanceledHandler handler) {
    std::lock_guard lock(mutex_);
    canceled_.push_back(std::move(handler));
}

void RecognizerCore::detach() {
    std::vector<ResultHandler> recognized, recognizing;
    std::vector<CanceledHandler> canceled;
    {
        std::lock_guard lock(mutex_);
        recognized.swap(recognized_);
        recognizing.swap(recognizing_);
        canceled.swap(canceled_);
    }
    // The handlers (and whatever they hold) are released here, outside the lock.
}

void RecognizerCore::raiseRecognizing(TranslationRecognitionResult result) {
    events_.async([self = shared_from_this(), result = std::move(result)] {
        self->dispatchResult(false, result);
    });
}

void RecognizerCore::raiseRecognized(TranslationRecognitionResult result) {
    events_.async([self = shared_from_this(), result = std::move(result)] {
        self->dispatchResult(true, result);
    });
}

void RecognizerCore::raiseCanceled(std::optional<std::string> errorDetails) {
    events_.async([self = shared_from_this(), details = std::move(errorDetails)] {
        std::vector<CanceledHandler> handlers;
        {
            std::lock_guard lock(self->mutex_);
            handlers = self->canceled_;
        }
        const RecognitionCanceledEventArgs args{details};
        for (const auto& handler : handlers) handler(args);
    });
}

void RecognizerCore::dispatchResult(bool final, const TranslationRecognitionResult& result) {
    std::vector<ResultHandler> handlers;
    {
        std::lock_guard lock(mutex_);
        handlers = final ? recognized_ : recognizing_;
    }
    for (const auto& handler : handlers) handler(result);
}

}  // namespace pex
