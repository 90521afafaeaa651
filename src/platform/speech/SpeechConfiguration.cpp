#include "platform/speech/SpeechConfiguration.h"

namespace pex {

ConfigurationCheck ConfigurationCheck::run(const std::string& token, const std::string& region) {
    auto backend = SpeechBackend::current();
    if (!backend) {
        return {nullptr,
                SpeechError{1, "no speech backend named \"" + SpeechBackend::chosenName() + "\""}};
    }
    if (token.empty()) return {nullptr, SpeechError{2, "the authorization token is empty"}};
    if (region.empty()) return {nullptr, SpeechError{3, "the region is empty"}};
    if (auto error = backend->checkConfiguration(token, region)) return {nullptr, std::move(error)};
    return {std::move(backend), std::nullopt};
}

SpeechConfiguration::Result SpeechConfiguration::fromAuthorizationToken(const std::string& token,
                                                                        const std::string& region) {
    ConfigurationCheck check = ConfigurationCheck::run(token, region);
    if (check.error) return {nullptr, std::move(check.error)};
    return {std::shared_ptr<SpeechConfiguration>(
                new SpeechConfiguration(token, region, std::move(check.backend))),
            std::nullopt};
}

SpeechConfiguration::SpeechConfiguration(std::string token, std::string region,
                                         std::shared_ptr<SpeechBackend> backend)
    : token_(std::move(token)), region_(std::move(region)), backend_(std::move(backend)) {}

void SpeechConfiguration::setSpeechRecognitionLanguage(const std::string& language) {
    std::lock_guard lock(mutex_);
    language_ = language;
}

void SpeechConfiguration::setAuthorizationToken(const std::string& token) {
    std::lock_guard lock(mutex_);
    token_ = token;
}

std::string SpeechConfiguration::speechRecognitionLanguage() const {
    std::lock_guard lock(mutex_);
    return language_;
}

std::string SpeechConfiguration::authorizationToken() const {
    std::lock_guard lock(mutex_);
    return token_;
}

}  // namespace pex
