#include "service/StrictJson.h"

#include <cmath>

namespace pex::strict {

namespace {

using nlohmann::json;

[[noreturn]] void mismatch(const json& object, std::string_view key, std::string_view expected) {
    throw json::type_error::create(
        302, "stored key \"" + std::string(key) + "\" is not " + std::string(expected), &object);
}

std::optional<std::int64_t> wholeNumber(const json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (number != std::trunc(number) || number < -9223372036854775808.0 ||
            number >= 9223372036854775808.0) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    return std::nullopt;
}

std::string readText(const json& object, std::string_view key, const json& value) {
    if (!value.is_string()) mismatch(object, key, "a string");
    return value.get<std::string>();
}

std::int64_t readInteger(const json& object, std::string_view key, const json& value) {
    const auto number = wholeNumber(value);
    if (!number) mismatch(object, key, "a whole number");
    return *number;
}

std::vector<std::string> readTexts(const json& object, std::string_view key, const json& value) {
    requireArray(object, key, value);
    std::vector<std::string> result;
    result.reserve(value.size());
    for (const auto& element : value) result.push_back(readText(object, key, element));
    return result;
}

}  // namespace

void requireObject(const json& value, std::string_view what) {
    if (!value.is_object()) {
        throw json::type_error::create(302, "stored " + std::string(what) + " is not an object",
                                       &value);
    }
}

void requireArray(const json& object, std::string_view key, const json& value) {
    if (!value.is_array()) mismatch(object, key, "an array");
}

const json& required(const json& object, std::string_view key) {
    requireObject(object, "record");
    const auto found = object.find(key);
    if (found == object.end()) {
        throw json::out_of_range::create(403, "stored key \"" + std::string(key) + "\" not found",
                                         &object);
    }
    return *found;
}

const json* present(const json& object, std::string_view key) {
    requireObject(object, "record");
    const auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

std::string text(const json& object, std::string_view key) {
    return readText(object, key, required(object, key));
}

std::int64_t integer(const json& object, std::string_view key) {
    return readInteger(object, key, required(object, key));
}

double real(const json& object, std::string_view key) {
    const json& value = required(object, key);
    if (!value.is_number()) mismatch(object, key, "a number");
    return value.get<double>();
}

bool flag(const json& object, std::string_view key) {
    const json& value = required(object, key);
    if (!value.is_boolean()) mismatch(object, key, "a Boolean");
    return value.get<bool>();
}

std::vector<std::string> texts(const json& object, std::string_view key) {
    return readTexts(object, key, required(object, key));
}

std::optional<std::string> optionalText(const json& object, std::string_view key) {
    const json* value = present(object, key);
    if (!value) return std::nullopt;
    return readText(object, key, *value);
}

std::optional<std::int64_t> optionalInteger(const json& object, std::string_view key) {
    const json* value = present(object, key);
    if (!value) return std::nullopt;
    return readInteger(object, key, *value);
}

std::optional<std::vector<std::string>> optionalTexts(const json& object, std::string_view key) {
    const json* value = present(object, key);
    if (!value) return std::nullopt;
    return readTexts(object, key, *value);
}

}  // namespace pex::strict
