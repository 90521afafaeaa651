#include "platform/foundation/DeploymentSettings.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "platform/foundation/DeploymentDefaults.h"

namespace pex {

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool allDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Four dotted decimal parts of 0-255, each without a leading zero; the first part is returned.
std::optional<int> ipv4FirstOctet(const std::string& host) {
    int parts = 0, first = -1;
    std::size_t start = 0;
    while (start <= host.size()) {
        std::size_t dot = host.find('.', start);
        std::string part =
            host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!allDigits(part) || part.size() > 3 || (part.size() > 1 && part[0] == '0'))
            return std::nullopt;
        int value = std::stoi(part);
        if (value > 255) return std::nullopt;
        if (parts++ == 0) first = value;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts != 4) return std::nullopt;
    return first;
}

// Letters, digits, "-" and "." in labels that are neither empty nor start/end with "-".
bool isHostName(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    std::size_t start = 0;
    while (true) {
        std::size_t dot = host.find('.', start);
        std::string label =
            host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        if (!std::all_of(label.begin(), label.end(),
                         [](unsigned char c) { return std::isalnum(c) || c == '-'; }))
            return false;
        if (dot == std::string::npos) return true;
        start = dot + 1;
    }
}

std::optional<in6_addr> ipv6Address(const std::string& host) {
    in6_addr address{};
    if (::inet_pton(AF_INET6, host.c_str(), &address) != 1) return std::nullopt;
    return address;
}

// A name whose last label is all digits can only be an IPv4 address, and then a valid one.
bool isValidHost(const std::string& host) {
    if (!isHostName(host)) return false;
    const std::string last =
        host.substr(host.rfind('.') == std::string::npos ? 0 : host.rfind('.') + 1);
    return !allDigits(last) || ipv4FirstOctet(host).has_value();
}

Origin parseDefault(const char* text) {
    auto origin = Origin::parse(text);
    if (!origin) throw std::logic_error(std::string("invalid deployment origin: ") + text);
    return *origin;
}

}  // namespace

std::string Origin::text() const {
    std::string out = scheme + "://";
    out += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port != 0) out += ":" + std::to_string(port);
    return out;
}

bool Origin::isLoopback() const {
    if (host == "localhost") return true;
    if (auto first = ipv4FirstOctet(host)) return *first == 127;
    auto address = ipv6Address(host);
    return address && IN6_IS_ADDR_LOOPBACK(&*address);
}

std::optional<Origin> Origin::parse(const std::string& text) {
    const std::size_t separator = text.find("://");
    if (separator == std::string::npos) return std::nullopt;
    Origin origin;
    origin.scheme = lowered(text.substr(0, separator));
    if (origin.scheme != "https" && origin.scheme != "http") return std::nullopt;

    std::string rest = text.substr(separator + 3);
    if (rest.ends_with('/')) rest.pop_back();
    if (rest.find_first_of("/?#@\\ \t\r\n") != std::string::npos) return std::nullopt;

    std::string portText;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return std::nullopt;
        origin.host = lowered(rest.substr(1, close - 1));
        if (!ipv6Address(origin.host)) return std::nullopt;
        std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return std::nullopt;
            portText = after.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else {
        const std::size_t colon = rest.find(':');
        origin.host = lowered(rest.substr(0, colon));
        if (colon != std::string::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        }
        if (!isValidHost(origin.host)) return std::nullopt;
    }
    if (!portText.empty()) {
        if (!allDigits(portText) || portText.size() > 5) return std::nullopt;
        origin.port = std::stoi(portText);
        if (origin.port < 1 || origin.port > 65535) return std::nullopt;
    }
    if (origin.scheme == "http" && !origin.isLoopback()) return std::nullopt;
    return origin;
}

DeploymentSettings DeploymentSettings::buildDefaults() {
    return DeploymentSettings{parseDefault(deployment_defaults::kServiceOrigin),
                              parseDefault(deployment_defaults::kStaticOrigin),
                              parseDefault(deployment_defaults::kCaptchaOrigin),
                              parseDefault(deployment_defaults::kAiProviderOrigin),
                              deployment_defaults::kResumeMaxBytes};
}

DeploymentSettings& DeploymentSettings::current() {
    static DeploymentSettings settings = buildDefaults();
    return settings;
}

void DeploymentSettings::useSingleOrigin(const Origin& origin) {
    DeploymentSettings& settings = current();
    settings.serviceOrigin = settings.staticOrigin = settings.captchaOrigin =
        settings.aiProviderOrigin = origin;
}

void DeploymentSettings::resetToBuildDefaults() {
    current() = buildDefaults();
}

}  // namespace pex
