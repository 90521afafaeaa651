#include "beacon-core/UTLLogArgument.h"

#include <cstdio>

namespace pex {

namespace {

constexpr std::string_view kFlags = "-+ #0'";
constexpr std::string_view kLengths = "hlqLzjt";

std::string printed(const std::string& directive, auto value) {
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, directive.c_str(), value);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, length);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), directive.c_str(), value);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// The argument as text; `options` are the directive's flags, width and precision.
std::string asText(const UTLLogArgument::Value& value, const std::string& options) {
    const std::string directive = "%" + options;
    return std::visit(
        [&](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>)
                return printed(directive + "s", v.c_str());
            else if constexpr (std::is_same_v<T, long long>)
                return printed(directive + "lld", v);
            else if constexpr (std::is_same_v<T, unsigned long long>)
                return printed(directive + "llu", v);
            else if constexpr (std::is_same_v<T, double>)
                return printed(directive + "g", v);
            else
                return printed(directive + "p", v);
        },
        value);
}

std::string formatted(const UTLLogArgument::Value& value, const std::string& options,
                      char conversion) {
    const std::string directive = "%" + options;
    switch (conversion) {
        case 'd':
        case 'i':
            if (const auto* n = std::get_if<long long>(&value))
                return printed(directive + "lld", *n);
            if (const auto* n = std::get_if<unsigned long long>(&value))
                return printed(directive + "lld", static_cast<long long>(*n));
            if (const auto* n = std::get_if<double>(&value))
                return printed(directive + "lld", static_cast<long long>(*n));
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (const auto* n = std::get_if<unsigned long long>(&value))
                return printed(directive + "ll" + conversion, *n);
            if (const auto* n = std::get_if<long long>(&value))
                return printed(directive + "ll" + conversion, static_cast<unsigned long long>(*n));
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (const auto* n = std::get_if<double>(&value))
                return printed(directive + conversion, *n);
            if (const auto* n = std::get_if<long long>(&value))
                return printed(directive + conversion, static_cast<double>(*n));
            if (const auto* n = std::get_if<unsigned long long>(&value))
                return printed(directive + conversion, static_cast<double>(*n));
            break;
        case 'c':
            if (const auto* n = std::get_if<long long>(&value))
                return printed(directive + "c", static_cast<int>(*n));
            break;
        default:  // '@', 's', 'p' and anything else: the argument's natural text
            break;
    }
    return asText(value, options);
}

}  // namespace

std::string UTLFormatLogText(std::string_view format, std::span<const UTLLogArgument> arguments) {
    std::string text;
    text.reserve(format.size() + 16 * arguments.size());
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%') {
            text += c;
            ++i;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            text += '%';
            i += 2;
            continue;
        }
        // %[flags][width][.precision][length]conversion
        std::size_t j = i + 1;
        std::string options;
        while (j < format.size() && kFlags.find(format[j]) != std::string_view::npos)
            options += format[j++];
        while (j < format.size() && format[j] >= '0' && format[j] <= '9') options += format[j++];
        if (j < format.size() && format[j] == '.') {
            options += format[j++];
            while (j < format.size() && format[j] >= '0' && format[j] <= '9')
                options += format[j++];
        }
        while (j < format.size() && kLengths.find(format[j]) != std::string_view::npos) ++j;
        if (j >= format.size() || next >= arguments.size()) {
            // A broken directive or one with no argument: print it as written.
            const std::size_t end = std::min(j + 1, format.size());
            text.append(format.substr(i, end - i));
            i = end;
            continue;
        }
        text += formatted(arguments[next++].value(), options, format[j]);
        i = j + 1;
    }
    return text;
}

}  // namespace pex
