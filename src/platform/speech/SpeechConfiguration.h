#pragma once
// Configuration of plain recognition: authorisation token, region and recognition language.
// It keeps the backend that accepted it, so recognisers made from it use the same one.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/speech/SpeechBackend.h"
#include "platform/speech/SpeechError.h"

namespace pex {

class SpeechConfiguration {
  public:
    struct Result {
        std::shared_ptr<SpeechConfiguration> configuration;
        std::optional<SpeechError> error;
    };
    static Result fromAuthorizationToken(const std::string& token, const std::string& region);

    void setSpeechRecognitionLanguage(const std::string& language);
    void setAuthorizationToken(const std::string& token);
    std::string speechRecognitionLanguage() const;
    std::string authorizationToken() const;
    const std::string& region() const { return region_; }
    const std::shared_ptr<SpeechBackend>& backend() const { return backend_; }

  private:
    SpeechConfiguration(std::string token, std::string region,
                        std::shared_ptr<SpeechBackend> backend);

    mutable std::mutex mutex_;
    std::string token_;
    std::string region_;
    std::string language_;
    std::shared_ptr<SpeechBackend> backend_;
};

// Checks what both configuration kinds need; the error, or the backend to use.
struct ConfigurationCheck {
    std::shared_ptr<SpeechBackend> backend;
    std::optional<SpeechError> error;
    static ConfigurationCheck run(const std::string& token, const std::string& region);
};

}  // namespace pex
