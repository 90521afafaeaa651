#include "Tools/ColorExtension.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>

namespace pex {

namespace {

double clampUnit(double value) {
    return std::clamp(value, 0.0, 1.0);
}

// A channel of an extended-range colour is clamped, so printing never runs past two digits.
int integerChannel(double channel) {
    const double scaled = channel * 255;
    if (std::isnan(scaled)) return 0;
    return static_cast<int>(std::clamp(std::trunc(scaled), 0.0, 255.0));
}

std::string lowerCased(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return lower;
}

void removeAll(std::string& text, std::string_view what) {
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
}

// A signed 64-bit number in base 16: an optional sign, then at least one digit, nothing else.
std::optional<std::int64_t> parseSignedHex(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // The magnitude is read unsigned so that the most negative value fits as well.
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(INT64_MAX);
    if (negative) {
        if (magnitude > kMaxPositive + 1) return std::nullopt;
        return static_cast<std::int64_t>(0 - magnitude);
    }
    if (magnitude > kMaxPositive) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

}  // namespace

Color colorWithHex(std::int64_t hex, double alpha) {
    const auto channel = [hex](int shift) {
        return static_cast<double>((static_cast<std::uint64_t>(hex) >> shift) & 0xFF) / 255.0;
    };
    return Color::rgb(channel(16), channel(8), channel(0), clampUnit(alpha));
}

std::optional<Color> colorWithHexString(std::string_view text, double alpha) {
    std::string digits = lowerCased(text);
    if (digits.starts_with("0x")) {
        removeAll(digits, "0x");
    } else if (digits.starts_with("#")) {
        removeAll(digits, "#");
    }
    if (digits.size() == 3)
        digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
    if (digits.empty()) return std::nullopt;
    const std::optional<std::int64_t> value = parseSignedHex(digits);
    if (!value) return std::nullopt;
    return colorWithHex(*value & 0xFFFFFF, alpha);
}

std::optional<Color> colorWithRed255(int red, int green, int blue, double alpha) {
    const auto valid = [](int channel) { return channel >= 0 && channel <= 255; };
    if (!valid(red) || !valid(green) || !valid(blue)) return std::nullopt;
    return Color::rgb(red / 255.0, green / 255.0, blue / 255.0, clampUnit(alpha));
}

Color rgbaColor(double red, double green, double blue, double alpha) {
    return Color::rgb(red / 255, green / 255, blue / 255, alpha);
}

std::optional<Color> colorFromHexString(std::string_view text) {
    return colorWithHexString(text, 1);
}

Color randomColor() {
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> channel(0, 255);
    const int red = channel(generator);
    const int green = channel(generator);
    const int blue = channel(generator);
    return Color::rgb(red / 255.0, green / 255.0, blue / 255.0, 1);
}

std::string hexString(const Color& color) {
    const auto [red, green, blue] = rgbIntegers(color);
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", red, green, blue);
    return text;
}

std::optional<std::string> shortHexString(const Color& color) {
    const std::string full = hexString(color).substr(1);
    if (full[0] != full[1] || full[2] != full[3] || full[4] != full[5]) return std::nullopt;
    return std::string{'#', full[0], full[2], full[4]};
}

std::string shortestHexString(const Color& color) {
    return shortHexString(color).value_or(hexString(color));
}

std::array<double, 3> rgbComponents(const Color& color) {
    return {color.redComponent(), color.greenComponent(), color.blueComponent()};
}

std::array<int, 3> rgbIntegers(const Color& color) {
    const auto [red, green, blue] = rgbComponents(color);
    return {integerChannel(red), integerChannel(green), integerChannel(blue)};
}

Color::HSB hsbComponents(const Color& color) {
    return color.hsb();
}

double alphaValue(const Color& color) {
    return color.alphaComponent();
}

std::uint32_t hexValue(const Color& color) {
    const auto [red, green, blue] = rgbIntegers(color);
    return (static_cast<std::uint32_t>(red) << 16) + (static_cast<std::uint32_t>(green) << 8) +
           static_cast<std::uint32_t>(blue);
}

Color lighter(const Color& color, double amount) {
    const auto [red, green, blue] = rgbComponents(color);
    return Color::rgb(std::min(red + amount, 1.0), std::min(green + amount, 1.0),
                      std::min(blue + amount, 1.0), color.alphaComponent());
}

Color darker(const Color& color, double amount) {
    const auto [red, green, blue] = rgbComponents(color);
    return Color::rgb(std::max(red - amount, 0.0), std::max(green - amount, 0.0),
                      std::max(blue - amount, 0.0), color.alphaComponent());
}

Color blend(const Color& colorA, const Color& colorB, double weightA, double weightB) {
    const double sum = weightA + weightB;
    const double shareA = weightA / sum;
    // Written as "not greater than" so that a zero sum (a NaN share) gives B as well.
    if (!(shareA > 0)) return colorB;
    const double shareB = weightB / sum;
    if (!(shareB > 0)) return colorA;
    const auto mix = [&](double a, double b) { return a * shareA + b * shareB; };
    return Color::rgb(mix(colorA.redComponent(), colorB.redComponent()),
                      mix(colorA.greenComponent(), colorB.greenComponent()),
                      mix(colorA.blueComponent(), colorB.blueComponent()),
                      mix(colorA.alphaComponent(), colorB.alphaComponent()));
}

Color inverted(const Color& color) {
    const Color rgb = color.usingRGB();
    // Extended-range channels are clamped so the root never sees a negative number.
    const auto invert = [](double channel) {
        const double scaled = 255 * clampUnit(channel);
        return std::sqrt(65025 - scaled * scaled) / 255;
    };
    return Color::rgb(invert(rgb.redComponent()), invert(rgb.greenComponent()),
                      invert(rgb.blueComponent()), 1);
}

}  // namespace pex
