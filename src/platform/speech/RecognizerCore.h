#pragma once
// The part both recogniser kinds share: it receives a session's events from any thread and runs
// the handlers on its own serial queue, one event at a time, in the order raised. Once
// detached it drops every event.
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/speech/SpeechBackend.h"

namespace pex {

class RecognizerCore : public RecognitionEventSink,
                       public std::enable_shared_from_this<RecognizerCore> {
  public:
    using ResultHandler = std::function<void(const TranslationRecognitionResult&)>;
    using CanceledHandler = std::function<void(const RecognitionCanceledEventArgs&)>;

    RecognizerCore();

    void addRecognizedHandler(ResultHandler handler);
    void addRecognizingHandler(ResultHandler handler);
    void addCanceledHandler(CanceledHandler handler);
    // Forgets the handlers (and what they hold); later events go nowhere.
    void detach();

    void raiseRecognizing(TranslationRecognitionResult result) override;
    void raiseRecognized(TranslationRecognitionResult result) override;
    void raiseCanceled(std::optional<std::string> errorDetails) override;

  private:
    void dispatchResult(bool final, const TranslationRecognitionResult& result);

    DispatchQueue events_;
    std::mutex mutex_;
    std::vector<ResultHandler> recognized_;
    std::vector<ResultHandler> recognizing_;
    std::vector<CanceledHandler> canceled_;
};

}  // namespace pex
