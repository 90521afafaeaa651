#pragma once
// The strict way of reading a stored record: every required key must be present with the
// right JSON type, and an optional key may be missing or null but not of another type. A
// failure throws nlohmann's own json exceptions, so a settings-store read that decodes the
// record turns any mismatch into "nothing stored".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex::strict {

// Throws unless `value` is a JSON object; `what` names the record in the message.
void requireObject(const nlohmann::json& value, std::string_view what);

std::string text(const nlohmann::json& object, std::string_view key);
// A whole number: an integer, or a real number without fraction inside the 64-bit range.
std::int64_t integer(const nlohmann::json& object, std::string_view key);
double real(const nlohmann::json& object, std::string_view key);
bool flag(const nlohmann::json& object, std::string_view key);
std::vector<std::string> texts(const nlohmann::json& object, std::string_view key);

std::optional<std::string> optionalText(const nlohmann::json& object, std::string_view key);
std::optional<std::int64_t> optionalInteger(const nlohmann::json& object, std::string_view key);
std::optional<std::vector<std::string>> optionalTexts(const nlohmann::json& object,
                                                      std::string_view key);

// The value under `key` for a nested record: throws when missing.
const nlohmann::json& required(const nlohmann::json& object, std::string_view key);
// The value under `key`, or none when missing or null.
const nlohmann::json* present(const nlohmann::json& object, std::string_view key);

// Throws unless `value`, found under `key` of `object`, is a JSON array.
void requireArray(const nlohmann::json& object, std::string_view key, const nlohmann::json& value);

// A list of nested records, each read by its own from_json: throws when missing or no array.
template <typename Record>
std::vector<Record> records(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json& value = required(object, key);
    requireArray(object, key, value);
    std::vector<Record> list;
    list.reserve(value.size());
    for (const auto& element : value) list.push_back(element.get<Record>());
    return list;
}

// Writes `value` under `key` only when it holds something.
template <typename T>
void putOptional(nlohmann::json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

}  // namespace pex::strict
