#include "Tools/ColorExtension.h"

#include <cmath>

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(ColorExtensionTest, ReadsHexTexts) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> hex;
    };
    const Case cases[] = {
        {"#19CFAE", 0x19CFAE},
        {"19cfae", 0x19CFAE},
        {"0x19CFAE", 0x19CFAE},
        {"0X19CFAE", 0x19CFAE},
        {"#19cfae", 0x19CFAE},
        {"#abc", 0xAABBCC},
        {"abc", 0xAABBCC},
        {"abcd", 0x00ABCD},
        {"FF", 0x0000FF},
        {"1FFFFFF", 0xFFFFFF},
        {"#E8E8E8", 0xE8E8E8},
        {"+123456", 0x123456},
        {"-1", 0xFFFFFF},  // the low 24 bits of the two's complement
        {"-000001", 0xFFFFFF},
        {"##abc", 0xAABBCC},  // every "#" goes
        {"", std::nullopt},
        {"#", std::nullopt},
        {"#GG0000", std::nullopt},
        {"0x", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {" 19cfae", std::nullopt},
        {"19cfae ", std::nullopt},
        {"#12 456", std::nullopt},
        {"-0x12", std::nullopt},
        {"1234567890abcdef0", std::nullopt},  // beyond 64 bits
        {"7fffffffffffffff", 0xFFFFFF},
        {"8000000000000000", std::nullopt},
        {"-8000000000000000", 0x000000},
        {"é12", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<Color> color = colorWithHexString(c.text, 1);
        ASSERT_EQ(color.has_value(), c.hex.has_value()) << c.text;
        if (c.hex) {
            EXPECT_EQ(hexValue(*color), *c.hex) << c.text;
        }
    }
    EXPECT_EQ(colorFromHexString("#abc"), colorWithHexString("#aabbcc", 1));
}

TEST(ColorExtensionTest, ClampsAlphaWhereTheConstructorsSaySo) {
    EXPECT_EQ(colorWithHexString("#19CFAE", 1.5)->alphaComponent(), 1);
    EXPECT_EQ(colorWithHexString("#19CFAE", -1)->alphaComponent(), 0);
    EXPECT_EQ(colorWithHex(0x19CFAE, 7).alphaComponent(), 1);
    EXPECT_EQ(colorWithRed255(1, 2, 3, -2)->alphaComponent(), 0);
    EXPECT_EQ(rgbaColor(255, 0, 0, 1.5).alphaComponent(), 1.5);  // passed through as given
}

TEST(ColorExtensionTest, BuildsFromIntegers) {
    EXPECT_EQ(colorWithHex(0x1FF0000, 1), Color::rgb(1, 0, 0, 1));  // bits above 23 ignored
    EXPECT_EQ(hexValue(colorWithHex(0x19CFAE)), 0x19CFAEu);
    EXPECT_EQ(hexString(*colorWithRed255(25, 207, 174)), "#19CFAE");
    for (const auto& bad : {std::array{256, 0, 0}, std::array{0, -1, 0}, std::array{0, 0, 300}}) {
        EXPECT_FALSE(colorWithRed255(bad[0], bad[1], bad[2]).has_value());
    }
    EXPECT_EQ(rgbaColor(51, 102, 255, 1), Color::rgb(0.2, 0.4, 1, 1));
    const Color random = randomColor();
    EXPECT_EQ(random.alphaComponent(), 1);
    for (double channel : rgbComponents(random)) {
        EXPECT_EQ(channel * 255, std::round(channel * 255));
    }
}

TEST(ColorExtensionTest, PrintsHexTexts) {
    EXPECT_EQ(hexString(Color::rgb(0.999, 0, 1)), "#FE00FF");  // truncated, not rounded
    EXPECT_EQ(hexString(Color::grey(0.2)), "#333333");
    EXPECT_EQ(hexString(Color::rgb(1.4, -0.2, 0.5)), "#FF007F");  // extended range clamped
    EXPECT_EQ(shortHexString(colorWithHex(0x11AAFF)), "#1AF");
    EXPECT_EQ(shortHexString(colorWithHex(0x12AAFF)), std::nullopt);
    EXPECT_EQ(shortestHexString(colorWithHex(0x12AAFF)), "#12AAFF");
    EXPECT_EQ(shortestHexString(colorWithHex(0xFFFFFF)), "#FFF");
    EXPECT_EQ(rgbIntegers(Color::grey(1)), (std::array{255, 255, 255}));
    EXPECT_EQ(alphaValue(Color::grey(0, 0.3)), 0.3);
    const Color::HSB hsb = hsbComponents(Color::rgb(0, 0, 1));
    EXPECT_NEAR(hsb.hue, 2.0 / 3, 1e-9);
}

TEST(ColorExtensionTest, LighterDarkerBlendAndInverted) {
    const Color base = Color::rgb(0.9, 0.1, 0.5, 0.4);
    const Color light = lighter(base, 0.3);
    EXPECT_EQ(rgbComponents(light)[0], 1);
    EXPECT_NEAR(rgbComponents(light)[1], 0.4, 1e-12);
    EXPECT_EQ(light.alphaComponent(), 0.4);
    const Color dark = darker(base, 0.3);
    EXPECT_NEAR(rgbComponents(dark)[0], 0.6, 1e-12);
    EXPECT_EQ(rgbComponents(dark)[1], 0);
    EXPECT_EQ(base, Color::rgb(0.9, 0.1, 0.5, 0.4));  // the receiver is unchanged

    const Color a = Color::rgb(1, 0, 0, 1);
    const Color b = Color::grey(0, 0);  // a grey colour is widened
    EXPECT_EQ(blend(a, b, 0, 0), b);
    EXPECT_EQ(blend(a, b, 1, 0), a);
    EXPECT_EQ(blend(a, b, 0, 2), b);
    const Color mixed = blend(a, Color::rgb(0, 0, 1, 0), 1, 3);
    EXPECT_DOUBLE_EQ(mixed.redComponent(), 0.25);
    EXPECT_DOUBLE_EQ(mixed.blueComponent(), 0.75);
    EXPECT_DOUBLE_EQ(mixed.alphaComponent(), 0.25);

    EXPECT_EQ(inverted(Color::rgb(0, 0, 0, 0.2)), Color::rgb(1, 1, 1, 1));
    EXPECT_EQ(inverted(Color::grey(1)), Color::rgb(0, 0, 0, 1));
    EXPECT_NEAR(inverted(Color::rgb(0.6, 0.6, 0.6)).redComponent(), 0.8, 1e-12);
    EXPECT_EQ(inverted(Color::grey(0.6)).space(), Color::Space::rgb);
}

}  // namespace
}  // namespace pex
