#include "platform/speech/CloudSpeechBackend.h"

#include <QHostAddress>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

#include "platform/foundation/DeploymentDefaults.h"
#include "platform/speech/CloudRecognitionSession.h"

namespace pex {

namespace {

// A region becomes part of a host name: only lower-case letters, digits and dashes.
bool isRegionName(const std::string& region) {
    if (region.empty() || region.size() > 63) return false;
    for (char c : region) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
    }
    return true;
}

bool isLoopbackHost(const QString& host) {
    if (host.compare("localhost", Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : ",") + item;
    return text;
}

}  // namespace

CloudSpeechEndpoints CloudSpeechEndpoints::buildDefaults() {
    return {deployment_defaults::kSpeechRecognitionEndpoint,
            deployment_defaults::kSpeechTranslationEndpoint};
}

std::optional<std::string> CloudSpeechEndpoints::resolve(const std::string& endpointTemplate,
                                                         const std::string& region) {
    if (!isRegionName(region)) return std::nullopt;
    std::string text = endpointTemplate;
    for (std::size_t at; (at = text.find("{region}")) != std::string::npos;)
        text.replace(at, 8, region);
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != "wss" && !(scheme == "ws" && isLoopbackHost(url.host()))) return std::nullopt;
    return text;
}

bool CloudSpeechBackend::isUsableToken(const std::string& token) {
    return !token.empty() && std::none_of(token.begin(), token.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

CloudSpeechBackend::CloudSpeechBackend()
    : CloudSpeechBackend(CloudSpeechEndpoints::buildDefaults()) {}

CloudSpeechBackend::CloudSpeechBackend(CloudSpeechEndpoints endpoints)
    : endpoints_(std::move(endpoints)) {}

std::optional<SpeechError> CloudSpeechBackend::checkConfiguration(
    const std::string& authorizationToken, const std::string& region) {
    if (!isUsableToken(authorizationToken))
        return SpeechError{1, "the authorization token is empty or not usable"};
    if (!isRegionName(region)) return SpeechError{2, "\"" + region + "\" is not a service region"};
    return std::nullopt;
}

SpeechBackend::SessionResult CloudSpeechBackend::makeSession(
    const RecognitionRequest& request, std::shared_ptr<RecognitionEventSink> sink) {
    if (!request.stream) return {nullptr, SpeechError{6, "the recognizer needs a push stream"}};
    if (auto error = checkConfiguration(request.authorizationToken, request.region)) {
        return {nullptr, error};
    }
    const bool translating = !request.targetLanguages.empty();
    const auto endpoint = CloudSpeechEndpoints::resolve(
        translating ? endpoints_.translation : endpoints_.recognition, request.region);
    if (!endpoint) return {nullptr, SpeechError{8, "the speech service endpoint is not valid"}};

    QUrl url(QString::fromStdString(*endpoint));
    QUrlQuery query;
    if (translating) {
        query.addQueryItem("from", QString::fromStdString(request.recognitionLanguage));
        query.addQueryItem("to", QString::fromStdString(joined(request.targetLanguages)));
    } else {
        query.addQueryItem("language", QString::fromStdString(request.recognitionLanguage));
    }
    query.addQueryItem("format", "simple");
    url.setQuery(query);
    return {std::make_unique<CloudRecognitionSession>(
                url.toString(QUrl::FullyEncoded).toStdString(), request, std::move(sink)),
            std::nullopt};
}

}  // namespace pex
