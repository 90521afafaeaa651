#pragma once
// The application's colour vocabulary on top of the colour value: colours from hexadecimal
// integers and texts, hexadecimal printing, component readers, and lighter, darker, mixed and
// inverted colours. Every function returns a new colour; none changes its argument.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/appkit/Color.h"

namespace pex {

// Construction. `hex` holds red in bits 16-23, green in 8-15, blue in 0-7; higher bits are
// ignored. Alpha is clamped to 0...1 unless said otherwise.
Color colorWithHex(std::int64_t hex, double alpha = 1);
// Reads "#RRGGBB", "RRGGBB", "0xRRGGBB" (any case) and the three-digit short forms; no colour
// when the text is not a hexadecimal number.
std::optional<Color> colorWithHexString(std::string_view text, double alpha);
// Integer channels 0...255; no colour when red, green or blue is outside that range.
std::optional<Color> colorWithRed255(int red, int green, int blue, double alpha = 1);
// Floating channels 0...255; alpha passed through as given.
Color rgbaColor(double red, double green, double blue, double alpha);
// colorWithHexString with alpha 1.
std::optional<Color> colorFromHexString(std::string_view text);
Color randomColor();

// Reading. Integer channels are c × 255 truncated toward zero.
std::string hexString(const Color& color);                      // "#RRGGBB", upper case
std::optional<std::string> shortHexString(const Color& color);  // "#RGB" when every pair repeats
std::string shortestHexString(const Color& color);
std::array<double, 3> rgbComponents(const Color& color);
std::array<int, 3> rgbIntegers(const Color& color);
Color::HSB hsbComponents(const Color& color);
double alphaValue(const Color& color);
std::uint32_t hexValue(const Color& color);

// Derivation.
Color lighter(const Color& color, double amount);
Color darker(const Color& color, double amount);
// A weighted mix: weightA / (weightA + weightB) of A and the rest of B. With no weight on A
// (a zero sum included) the result is B, with none on B it is A.
Color blend(const Color& colorA, const Color& colorB, double weightA, double weightB);
// Each channel c becomes sqrt(1 − c²); alpha 1.
Color inverted(const Color& color);

}  // namespace pex
