#include "Login/CaptchaPipe.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace pex {

namespace {

bool isPlainText(const std::string& text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

}  // namespace

std::string CaptchaPipeMessage::field(const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

bool CaptchaPipe::append(const char* data, std::size_t size) {
    if (overflowed_) return false;
    buffer_.append(data, size);
    // Only the unfinished last line counts against the limit; whole lines wait to be taken.
    const std::size_t lastNewline = buffer_.rfind('\n');
    const std::size_t pending =
        lastNewline == std::string::npos ? buffer_.size() : buffer_.size() - lastNewline - 1;
    if (pending > kMaxLineBytes) {
        overflowed_ = true;
        buffer_.clear();
    }
    return !overflowed_;
}

std::optional<std::string> CaptchaPipe::nextLine() {
    const std::size_t newline = buffer_.find('\n');
    if (newline == std::string::npos) return std::nullopt;
    std::string line = buffer_.substr(0, newline);
    buffer_.erase(0, newline + 1);
    if (line.size() > kMaxLineBytes) {
        overflowed_ = true;
        buffer_.clear();
        return std::nullopt;
    }
    return line;
}

std::string CaptchaPipe::encode(const CaptchaPipeMessage& message) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [name, value] : message.fields) object[name] = value;
    object["type"] = message.type;
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<CaptchaPipeMessage> CaptchaPipe::decode(const std::string& line) {
    if (line.size() > kMaxLineBytes) return std::nullopt;
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (object.is_discarded() || !object.is_object()) return std::nullopt;
    CaptchaPipeMessage message;
    for (const auto& [name, value] : object.items()) {
        if (!value.is_string()) return std::nullopt;
        const std::string& text = value.get_ref<const std::string&>();
        if (!isPlainText(text)) return std::nullopt;
        if (name == "type") {
            message.type = text;
        } else {
            message.fields[name] = text;
        }
    }
    if (message.type.empty()) return std::nullopt;
    return message;
}

}  // namespace pex
