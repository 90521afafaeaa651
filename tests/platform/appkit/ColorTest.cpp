#include "platform/appkit/Color.h"

#include <gtest/gtest.h>
#include <QColor>

namespace pex {
namespace {

TEST(ColorTest, GreyColoursHaveTwoComponentsAndReadAsRgb) {
    const Color grey = Color::grey(0.2, 0.5);
    EXPECT_EQ(grey.space(), Color::Space::grey);
    EXPECT_EQ(grey.components(), (std::vector<double>{0.2, 0.5}));
    EXPECT_DOUBLE_EQ(grey.greenComponent(), 0.2);
    EXPECT_DOUBLE_EQ(grey.blueComponent(), 0.2);

    const Color rgb = grey.usingRGB();
    EXPECT_EQ(rgb.space(), Color::Space::rgb);
    EXPECT_EQ(rgb.components(), (std::vector<double>{0.2, 0.2, 0.2, 0.5}));
}

TEST(ColorTest, HueSaturationBrightness) {
    struct Case {
        Color color;
        Color::HSB expected;
    };
    const Case cases[] = {
        {Color::rgb(1, 0, 0), {0, 1, 1, 1}},
        {Color::rgb(0, 1, 0, 0.5), {1.0 / 3, 1, 1, 0.5}},
        {Color::rgb(0, 0, 0.5), {2.0 / 3, 1, 0.5, 1}},
        {Color::rgb(1, 0, 0.5), {11.0 / 12, 1, 1, 1}},  // hue wraps past red
        {Color::grey(0.4), {0, 0, 0.4, 1}},
        {Color::rgb(0, 0, 0), {0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        const Color::HSB hsb = c.color.hsb();
        EXPECT_NEAR(hsb.hue, c.expected.hue, 1e-9);
        EXPECT_NEAR(hsb.saturation, c.expected.saturation, 1e-9);
        EXPECT_NEAR(hsb.brightness, c.expected.brightness, 1e-9);
        EXPECT_NEAR(hsb.alpha, c.expected.alpha, 1e-9);
    }
}

TEST(ColorTest, ConvertsToAndFromQColorClampingExtendedValues) {
    const QColor teal = Color::rgb(0x19 / 255.0, 0xCF / 255.0, 0xAE / 255.0).toQColor();
    EXPECT_EQ(teal, QColor(0x19, 0xCF, 0xAE));
    EXPECT_NEAR(Color::grey(0.5, 0.25).toQColor().alphaF(), 0.25, 1e-4);
    EXPECT_EQ(Color::rgb(1.5, -0.5, 0.5, 2).toQColor(), QColor::fromRgbF(1, 0, 0.5f, 1));

    const Color back = Color::fromQColor(QColor(255, 0, 51, 102));
    EXPECT_DOUBLE_EQ(back.redComponent(), 1);
    EXPECT_NEAR(back.blueComponent(), 0.2, 1e-4);
    EXPECT_NEAR(back.alphaComponent(), 0.4, 1e-4);
    EXPECT_EQ(Color::rgb(0.1, 0.2, 0.3).withAlphaComponent(0.7).alphaComponent(), 0.7);
}

}  // namespace
}  // namespace pex
