#include "service/LenientJson.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace pex::lenient {

namespace {

constexpr double kInt64Bound = 9223372036854775808.0;  // 2^63

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Only plain decimal notation: digits with an optional sign, point and exponent. Rejects
// "inf", "nan" and hexadecimal forms that the number parser would otherwise accept.
bool looksDecimal(std::string_view text) {
    if (text.empty()) return false;
    std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) return false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c != '.' && c != 'e' && c != 'E' && c != '-' && c != '+') {
            return false;
        }
    }
    return digits;
}

}  // namespace

const nlohmann::json& field(const nlohmann::json& object, std::string_view key) {
    static const nlohmann::json kNull;
    if (!object.is_object()) return kNull;
    const auto found = object.find(key);
    return found == object.end() ? kNull : *found;
}

std::int64_t clampToInteger(double value) {
    if (std::isnan(value)) return 0;
    if (value >= kInt64Bound) return std::numeric_limits<std::int64_t>::max();
    if (value < -kInt64Bound) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::trunc(value));
}

std::optional<std::string> numberText(const nlohmann::json& number) {
    if (number.is_number_integer() && !number.is_number_unsigned()) {
        return std::to_string(number.get<std::int64_t>());
    }
    if (number.is_number_unsigned()) return std::to_string(number.get<std::uint64_t>());
    if (!number.is_number_float()) return std::nullopt;
    const double value = number.get<double>();
    if (!std::isfinite(value)) return std::nullopt;
    // Whole numbers read as integers ("120", not "120.0"), as the service's numbers are meant.
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    return number.dump();
}

std::optional<std::int64_t> parseIntegerText(std::string_view text) {
    text = trimmed(text);
    if (!looksDecimal(text)) return std::nullopt;
    if (text.front() == '+') text.remove_prefix(1);
    const char* end = text.data() + text.size();

    std::int64_t whole = 0;
    const auto [wholeEnd, wholeError] = std::from_chars(text.data(), end, whole);
    if (wholeEnd == end && wholeError == std::errc()) return whole;
    if (wholeEnd == end && wholeError == std::errc::result_out_of_range) {
        return text.front() == '-' ? std::numeric_limits<std::int64_t>::min()
                                   : std::numeric_limits<std::int64_t>::max();
    }

    double real = 0;
    const auto [realEnd, realError] = std::from_chars(text.data(), end, real);
    if (realEnd != end) return std::nullopt;
    if (realError == std::errc::result_out_of_range) {
        // Either far beyond the range (clamp) or a tiny fraction (0).
        const bool negative = text.front() == '-';
        const bool huge = text.find_first_of("eE") == std::string_view::npos ||
                          text[text.find_first_of("eE") + 1] != '-';
        if (!huge) return 0;
        return negative ? std::numeric_limits<std::int64_t>::min()
                        : std::numeric_limits<std::int64_t>::max();
    }
    if (realError != std::errc()) return std::nullopt;
    return clampToInteger(real);
}

std::string textValue(const nlohmann::json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
    if (value.is_number()) return numberText(value).value_or("");
    return {};
}

std::int64_t integerValue(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_number_float()) return clampToInteger(value.get<double>());
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_string()) return parseIntegerText(value.get<std::string>()).value_or(0);
    return 0;
}

std::string text(const nlohmann::json& object, std::string_view key) {
    return textValue(field(object, key));
}

std::int64_t integer(const nlohmann::json& object, std::string_view key) {
    return integerValue(field(object, key));
}

}  // namespace pex::lenient
