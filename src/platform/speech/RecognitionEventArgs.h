#pragma once
// What recognition events carry. A text may be absent; translations are keyed by the target
// language code they were asked for.
#include <map>
#include <optional>
#include <string>

namespace pex {

struct SpeechRecognitionResult {
    std::optional<std::string> text;
};

struct TranslationRecognitionResult {
    std::optional<std::string> text;
    std::map<std::string, std::string> translations;
};

struct SpeechRecognitionEventArgs {
    SpeechRecognitionResult result;
};

struct TranslationRecognitionEventArgs {
    TranslationRecognitionResult result;
};

struct RecognitionCanceledEventArgs {
    std::optional<std::string> errorDetails;
};

}  // namespace pex
