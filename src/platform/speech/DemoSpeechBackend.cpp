#include "platform/speech/DemoSpeechBackend.h"

#include "platform/speech/DemoRecognitionSession.h"

namespace pex {

DemoSpeechBackend::DemoSpeechBackend() : DemoSpeechBackend(DemoScript::interview(), Timing()) {}

DemoSpeechBackend::DemoSpeechBackend(DemoScript script, Timing timing)
    : script_(std::move(script)), timing_(timing) {}

std::optional<SpeechError> DemoSpeechBackend::checkConfiguration(const std::string&,
                                                                 const std::string&) {
    return std::nullopt;
}

SpeechBackend::SessionResult DemoSpeechBackend::makeSession(
    const RecognitionRequest& request, std::shared_ptr<RecognitionEventSink> sink) {
    if (!request.stream)
        return {nullptr, SpeechError{6, "the demo recognizer needs a push stream"}};
    if (script_.sentences.empty()) return {nullptr, SpeechError{7, "the demo script is empty"}};
    return {std::make_unique<DemoRecognitionSession>(request, std::move(sink), script_, timing_),
            std::nullopt};
}

}  // namespace pex
