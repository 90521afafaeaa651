#include "service/ReplyMapper.h"

#include "service/LenientJson.h"

namespace pex {

using nlohmann::json;

std::string ReplyMapper::textOf(const json& value) {
    try {
        return value.dump();
    } catch (const json::exception&) {
        // Not representable as JSON text; this word parses as nothing.
        return "unknown";
    }
}

std::optional<json> ReplyMapper::parse(std::string_view text) {
    json parsed = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

const json* ReplyMapper::find(std::string_view key) const {
    const auto found = object_.find(key);
    if (found == object_.end() || found->is_null()) return nullptr;
    return &*found;
}

std::optional<std::string> ReplyMapper::textFrom(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return std::string(value.get<bool>() ? "true" : "false");
    if (value.is_number()) return lenient::numberText(value);
    return std::nullopt;
}

std::optional<std::int64_t> ReplyMapper::integerFrom(const json& value) {
    if (value.is_number() || value.is_boolean()) return lenient::integerValue(value);
    if (value.is_string()) return lenient::parseIntegerText(value.get<std::string>());
    return std::nullopt;
}

void ReplyMapper::text(std::string_view key, std::optional<std::string>& field) const {
    if (const json* value = find(key)) {
        if (auto converted = textFrom(*value)) field = std::move(converted);
    }
}

void ReplyMapper::integer(std::string_view key, std::int64_t& field) const {
    if (const json* value = find(key)) {
        if (auto converted = integerFrom(*value)) field = *converted;
    }
}

void ReplyMapper::flag(std::string_view key, bool& field) const {
    const json* value = find(key);
    if (!value) return;
    if (value->is_boolean()) {
        field = value->get<bool>();
    } else if (value->is_number()) {
        field = lenient::integerValue(*value) != 0;
    } else if (value->is_string()) {
        const auto& word = value->get_ref<const std::string&>();
        if (word == "true") field = true;
        if (word == "false") field = false;
    }
}

void ReplyMapper::texts(std::string_view key,
                        std::optional<std::vector<std::string>>& field) const {
    const json* value = find(key);
    if (!value || !value->is_array()) return;
    std::vector<std::string> list;
    for (const auto& element : *value) {
        if (auto converted = textFrom(element)) list.push_back(std::move(*converted));
    }
    field = std::move(list);
}

}  // namespace pex
