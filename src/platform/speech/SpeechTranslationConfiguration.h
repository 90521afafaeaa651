#pragma once
// Configuration of recognition with translation: token, region, the source language and the
// target languages.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/speech/SpeechBackend.h"
#include "platform/speech/SpeechError.h"

namespace pex {

class SpeechTranslationConfiguration {
  public:
    struct Result {
        std::shared_ptr<SpeechTranslationConfiguration> configuration;
        std::optional<SpeechError> error;
    };
    static Result fromAuthorizationToken(const std::string& token, const std::string& region);

    void setSpeechRecognitionLanguage(const std::string& language);
    void addTargetLanguage(const std::string& language);
    void setAuthorizationToken(const std::string& token);
    std::string speechRecognitionLanguage() const;
    std::vector<std::string> targetLanguages() const;
    std::string authorizationToken() const;
    const std::string& region() const { return region_; }
    const std::shared_ptr<SpeechBackend>& backend() const { return backend_; }

  private:
    SpeechTranslationConfiguration(std::string token, std::string region,
                                   std::shared_ptr<SpeechBackend> backend);

    mutable std::mutex mutex_;
    std::string token_;
    std::string region_;
    std::string language_;
    std::vector<std::string> targets_;
    std::shared_ptr<SpeechBackend> backend_;
};

}  // namespace pex
