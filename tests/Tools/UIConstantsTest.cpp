#include "Tools/UIConstants.h"

#include <gtest/gtest.h>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <atomic>
#include <thread>

#include "Tools/ColorExtension.h"
#include "Tools/PaletteColor.h"

namespace pex {
namespace {

TEST(UIConstantsTest, ThemeColoursAndFonts) {
    const std::pair<const Color&, std::uint32_t> colours[] = {
        {themeTextColor(), 0x333333},
        {themeSubTextColor(), 0x666666},
        {themeLightBackgroundColor(), 0xF9F9F9},
        {themeTealColor(), 0x65D6C4},
        {themeGrayColor(), 0xB2B2B2},
        {themeMainColor(), 0x19CFAE},
        {themeMainLightColor(), 0xD7F2F2},
        {themeLoginBackgroundColor(), 0xEEF2F3},
        {themePageBackgroundColor(), 0xF2FAF8},
    };
    for (const auto& [colour, hex] : colours) {
        EXPECT_EQ(hexValue(colour), hex);
        EXPECT_EQ(colour.alphaComponent(), 1);
    }
    EXPECT_EQ(&themeMainColor(), &themeMainColor());  // made once
    EXPECT_EQ(themeFont14().pixelSize(), 14);
    EXPECT_EQ(themeFont15().pixelSize(), 15);
    EXPECT_EQ(themeFont17().pixelSize(), 17);
}

TEST(UIConstantsTest, ScalesTruncatingTowardZero) {
    EXPECT_EQ(scaledLength(10, 900, 700), 12);   // 12.857
    EXPECT_EQ(scaledLength(15, 1050, 700), 22);  // 22.5
    EXPECT_EQ(scaledLength(-15, 1050, 700), -22);
    EXPECT_EQ(scaledLength(100, 1200, 1200), 100);

    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(screenWidth(), screen.width());
    EXPECT_EQ(screenHeight(), screen.height());
    EXPECT_EQ(scaledByHeight(10), std::trunc(10 * screen.height() / 700.0));
    EXPECT_EQ(scaledByWidth(10), std::trunc(10 * screen.width() / 1200.0));
}

TEST(PaletteColorTest, MakesItsColourOnceForAllThreads) {
    std::atomic<int> made{0};
    const PaletteColor colour([&] {
        ++made;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return colorWithHex(0x65D6C4);
    });
    std::vector<std::thread> readers;
    std::atomic<int> right{0};
    for (int i = 0; i < 8; ++i) {
        readers.emplace_back([&] {
            if (hexValue(colour.paletteColor()) == 0x65D6C4) ++right;
        });
    }
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(made.load(), 1);
    EXPECT_EQ(right.load(), 8);
    EXPECT_EQ(colour(), colorWithHex(0x65D6C4));
}

}  // namespace
}  // namespace pex
