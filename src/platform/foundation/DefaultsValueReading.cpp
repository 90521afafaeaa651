#include "platform/foundation/DefaultsValueReading.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace pex {

namespace {

// Leading white space and one sign are skipped, as the platform's text readers do.
std::size_t skipSpaceAndSign(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    return at;
}

// A text is true when, after white space and a sign, it starts with Y, y, T, t or a digit 1-9
// (after any leading zeros).
bool textBool(const std::string& text) {
    std::size_t at = skipSpaceAndSign(text);
    while (at < text.size() && text[at] == '0') ++at;
    if (at >= text.size()) return false;
    const char first = text[at];
    return first == 'Y' || first == 'y' || first == 'T' || first == 't' ||
           (first >= '1' && first <= '9');
}

// The leading decimal integer, saturated at the 64-bit limits; 0 when there is none.
std::int64_t textInteger(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        const int digit = text[at] - '0';
        if (value > (kMax - digit) / 10)
            return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::int64_t doubleToInteger(double number) {
    if (std::isnan(number)) return 0;
    if (number >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (number <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(number);
}

}  // namespace

bool DefaultsValueReading::boolValue(const std::optional<nlohmann::json>& stored) {
    if (!stored) return false;
    if (stored->is_boolean()) return stored->get<bool>();
    if (stored->is_number()) return stored->get<double>() != 0.0;
    if (stored->is_string()) return textBool(stored->get<std::string>());
    return false;
}

std::int64_t DefaultsValueReading::integerValue(const std::optional<nlohmann::json>& stored) {
    if (!stored) return 0;
    if (stored->is_boolean()) return stored->get<bool>() ? 1 : 0;
    if (stored->is_number_unsigned()) {
        const auto number = stored->get<std::uint64_t>();
        constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        return number > kMax ? std::numeric_limits<std::int64_t>::max()
                             : static_cast<std::int64_t>(number);
    }
    if (stored->is_number_integer()) return stored->get<std::int64_t>();
    if (stored->is_number_float()) return doubleToInteger(stored->get<double>());
    if (stored->is_string()) return textInteger(stored->get<std::string>());
    return 0;
}

double DefaultsValueReading::doubleValue(const std::optional<nlohmann::json>& stored) {
    if (!stored) return 0;
    if (stored->is_boolean()) return stored->get<bool>() ? 1 : 0;
    if (stored->is_number()) return stored->get<double>();
    if (stored->is_string()) {
        const std::string text = stored->get<std::string>();
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        return end == text.c_str() ? 0 : number;
    }
    return 0;
}

}  // namespace pex
