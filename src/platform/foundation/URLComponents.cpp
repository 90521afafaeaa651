#include "platform/foundation/URLComponents.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/foundation/Hex.h"

namespace pex {

namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

std::optional<std::string> part(CURLU* handle, CURLUPart which, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, flags) != CURLUE_OK || !value) return std::nullopt;
    std::string text(value);
    curl_free(value);
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::optional<URLComponents> URLComponents::parse(const std::string& address) {
    std::unique_ptr<CURLU, UrlHandleDeleter> handle(curl_url());
    if (!handle) return std::nullopt;
    if (curl_url_set(handle.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    URLComponents components;
    components.scheme = lower(part(handle.get(), CURLUPART_SCHEME).value_or(""));
    if (components.scheme != "http" && components.scheme != "https") return std::nullopt;
    components.host = lower(part(handle.get(), CURLUPART_HOST).value_or(""));
    if (components.host.empty()) return std::nullopt;
    const auto port = part(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    components.port = port ? std::atoi(port->c_str()) : 0;
    components.path = part(handle.get(), CURLUPART_PATH).value_or(std::string());
    if (components.path.empty()) components.path.push_back('/');
    components.query = part(handle.get(), CURLUPART_QUERY).value_or("");
    return components;
}

bool URLComponents::isUnder(const std::string& address, const std::string& base) {
    const auto a = parse(address);
    const auto b = parse(base);
    if (!a || !b) return false;
    if (a->scheme != b->scheme || a->host != b->host || a->port != b->port) return false;
    std::string basePath = b->path;
    while (basePath.size() > 1 && basePath.back() == '/') basePath.pop_back();
    if (basePath == "/") return true;
    if (a->path == basePath) return true;
    return a->path.size() > basePath.size() && a->path.compare(0, basePath.size(), basePath) == 0 &&
           a->path[basePath.size()] == '/';
}

std::string percentEscape(std::string_view text, std::string_view keep) {
    std::string escaped;
    escaped.reserve(text.size());
    for (unsigned char c : text) {
        const bool unreserved = std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved || (c < 0x80 && keep.find(static_cast<char>(c)) != std::string_view::npos)) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += hexDigit(c >> 4, HexCase::Upper);
            escaped += hexDigit(c, HexCase::Upper);
        }
    }
    return escaped;
}

}  // namespace pex
