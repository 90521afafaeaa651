#include "service/ConsoleRedaction.h"

#include <initializer_list>
#include <string_view>

namespace pex {

namespace {

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The path without query or fragment, so "…/send_sms_code?x=1" is still recognised.
std::string_view bare(const std::string& path) {
    return std::string_view(path).substr(0, path.find_first_of("?#"));
}

void redact(nlohmann::json& value, std::initializer_list<std::string_view> keys) {
    if (value.is_object()) {
        for (auto& [name, nested] : value.items()) {
            bool secret = false;
            for (std::string_view key : keys) secret = secret || name == key;
            if (secret) {
                nested = kRedacted;
            } else {
                redact(nested, keys);
            }
        }
    } else if (value.is_array()) {
        for (auto& nested : value) redact(nested, keys);
    }
}

}  // namespace

nlohmann::json redactedParameters(const nlohmann::json& parameters, const std::string& path) {
    nlohmann::json copy = parameters;
    redact(copy, {"password", "code", "token"});
    if (endsWith(bare(path), "/user/send_sms_code") && copy.is_object() && copy.contains("data")) {
        copy["data"] = kRedacted;
    }
    return copy;
}

nlohmann::json redactedReply(const nlohmann::json& reply, const std::string& path) {
    nlohmann::json copy = reply;
    redact(copy, {"token"});
    if (endsWith(bare(path), "/ai/token") && copy.is_object() && copy.contains("data")) {
        copy["data"] = kRedacted;
    }
    return copy;
}

}  // namespace pex
