#include "platform/speech/SpeechTranslationConfiguration.h"

#include <algorithm>

#include "platform/speech/SpeechConfiguration.h"

namespace pex {

SpeechTranslationConfiguration::Result SpeechTranslationConfiguration::fromAuthorizationToken(
    const std::string& token, const std::string& region) {
    ConfigurationCheck check = ConfigurationCheck::run(token, region);
    if (check.error) return {nullptr, std::move(check.error)};
    return {std::shared_ptr<SpeechTranslationConfiguration>(
                new SpeechTranslationConfiguration(token, region, std::move(check.backend))),
            std::nullopt};
}

SpeechTranslationConfiguration::SpeechTranslationConfiguration(
    std::string token, std::string region, std::shared_ptr<SpeechBackend> backend)
    : token_(std::move(token)), region_(std::move(region)), backend_(std::move(backend)) {}

void SpeechTranslationConfiguration::setSpeechRecognitionLanguage(const std::string& language) {
    std::lock_guard lock(mutex_);
    language_ = language;
}

void SpeechTranslationConfiguration::addTargetLanguage(const std::string& language) {
    std::lock_guard lock(mutex_);
    if (std::find(targets_.begin(), targets_.end(), language) == targets_.end()) {
        targets_.push_back(language);
    }
}

void SpeechTranslationConfiguration::setAuthorizationToken(const std::string& token) {
    std::lock_guard lock(mutex_);
    token_ = token;
}

std::string SpeechTranslationConfiguration::speechRecognitionLanguage() const {
    std::lock_guard lock(mutex_);
    return language_;
}

std::vector<std::string> SpeechTranslationConfiguration::targetLanguages() const {
    std::lock_guard lock(mutex_);
    return targets_;
}

std::string SpeechTranslationConfiguration::authorizationToken() const {
    std::lock_guard lock(mutex_);
    return token_;
}

}  // namespace pex
