#include "platform/foundation/DefaultsFileFormat.h"

#include <array>
#include <cstdint>

namespace pex {
using nlohmann::json;

namespace {

constexpr std::string_view kDataTag = "$data";
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string escapeKey(const std::string& key) {
    return key.starts_with('$') ? "$" + key : key;
}

std::string unescapeKey(const std::string& key) {
    return key.starts_with("$$") ? key.substr(1) : key;
}

json encodeValue(const json& value) {
    switch (value.type()) {
        case json::value_t::binary:
            return json{{std::string(kDataTag), DefaultsFileFormat::base64(value.get_binary())}};
        case json::value_t::object: {
            json out = json::object();
            for (const auto& [key, item] : value.items()) out[escapeKey(key)] = encodeValue(item);
            return out;
        }
        case json::value_t::array: {
            json out = json::array();
            for (const auto& item : value) out.push_back(encodeValue(item));
            return out;
        }
        default:
            return value;
    }
}

bool isDataTag(const json& value) {
    return value.size() == 1 && value.contains(kDataTag) && value.begin()->is_string();
}

std::optional<json> decodeValue(const json& value, std::string& problem) {
    if (value.is_object()) {
        if (isDataTag(value)) {
            auto bytes =
                DefaultsFileFormat::fromBase64(value.begin()->get_ref<const std::string&>());
            if (!bytes) {
                problem = "a data value is not valid base64";
                return std::nullopt;
            }
            return json::binary(std::move(*bytes));
        }
        json out = json::object();
        for (const auto& [key, item] : value.items()) {
            auto decoded = decodeValue(item, problem);
            if (!decoded) return std::nullopt;
            out[unescapeKey(key)] = std::move(*decoded);
        }
        return out;
    }
    if (value.is_array()) {
        json out = json::array();
        for (const auto& item : value) {
            auto decoded = decodeValue(item, problem);
            if (!decoded) return std::nullopt;
            out.push_back(std::move(*decoded));
        }
        return out;
    }
    // The parser reads every non-negative integer as unsigned; keep one integer kind for
    // what was stored as a signed number.
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT64_MAX))
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    return value;
}

}  // namespace

std::string DefaultsFileFormat::encode(const json& values) {
    json out = json::object();
    for (const auto& [key, value] : values.items()) out[key] = encodeValue(value);
    // Texts are stored as given; bytes that are not UTF-8 are replaced rather than failing
    // the whole write.
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<json> DefaultsFileFormat::decode(std::string_view text, std::string& problem) {
    json parsed = json::parse(text, nullptr, false);
    if (parsed.is_discarded()) {
        problem = "not valid JSON";
        return std::nullopt;
    }
    if (!parsed.is_object()) {
        problem = "not a JSON object";
        return std::nullopt;
    }
    json values = json::object();
    for (const auto& [key, value] : parsed.items()) {
        if (value.is_null()) continue;  // null is never stored: setting null removes the key
        auto decoded = decodeValue(value, problem);
        if (!decoded) return std::nullopt;
        values[key] = std::move(*decoded);
    }
    return values;
}

std::string DefaultsFileFormat::base64(const json::binary_t& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    if (std::size_t rest = bytes.size() - i; rest > 0) {
        std::uint32_t n = bytes[i] << 16;
        if (rest == 2) n |= bytes[i + 1] << 8;
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<json::binary_t> DefaultsFileFormat::fromBase64(std::string_view text) {
    static const std::array<int, 256> kValues = [] {
        std::array<int, 256> values{};
        values.fill(-1);
        for (std::size_t i = 0; i < kAlphabet.size(); ++i)
            values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
        return values;
    }();
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') ++padding;
    if (text.size() >= 2 && text[text.size() - 2] == '=') ++padding;

    json::binary_t out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        std::uint32_t n = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            int value = kValues[static_cast<unsigned char>(c)];
            if (c == '=' && last && j >= 4 - padding) value = 0;
            if (value < 0) return std::nullopt;
            n = (n << 6) | static_cast<std::uint32_t>(value);
        }
        out.push_back(static_cast<std::uint8_t>(n >> 16));
        if (!last || padding < 2) out.push_back(static_cast<std::uint8_t>(n >> 8));
        if (!last || padding < 1) out.push_back(static_cast<std::uint8_t>(n));
    }
    return out;
}

}  // namespace pex
