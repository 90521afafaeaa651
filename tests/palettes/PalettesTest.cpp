// The four palettes: their sizes and names, spot values against the published palettes, the
// Material aliases holding the very object of their 500 shade, alpha 1 throughout, and one
// object per constant under concurrent first reads.
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Tools/ColorExtension.h"
#include "palettes/CSS.h"
#include "palettes/FlatUI.h"
#include "palettes/Material.h"
#include "palettes/Social.h"

namespace pex::palettes {
namespace {

std::vector<const std::vector<PaletteEntry>*> palettes() {
    return {&Social::all(), &Material::all(), &CSS::all(), &FlatUI::all()};
}

TEST(Palettes, HoldFourHundredSixtyNineNamedConstants) {
    EXPECT_EQ(Social::all().size(), 26u);
    EXPECT_EQ(Material::all().size(), 275u);
    EXPECT_EQ(CSS::all().size(), 148u);
    EXPECT_EQ(FlatUI::all().size(), 20u);
    std::size_t total = 0;
    for (const auto* palette : palettes()) {
        std::set<std::string> names;
        for (const PaletteEntry& entry : *palette) names.insert(entry.name);
        EXPECT_EQ(names.size(), palette->size()) << "names are unique within a palette";
        total += palette->size();
    }
    EXPECT_EQ(total, 469u);
}

TEST(Palettes, SpotValuesMatchThePublishedPalettes) {
    struct Case {
        const Color& colour;
        std::uint32_t hex;
    };
    const Case cases[] = {
        {Material::red50(), 0xFFEBEE},          {Material::red500(), 0xF44336},
        {Material::redA700(), 0xD50000},        {Material::blueGrey900(), 0x263238},
        {Material::deepPurpleA400(), 0x651FFF}, {Material::lightGreen700(), 0x689F38},
        {Material::brown50(), 0xEFEBE9},        {Material::black(), 0x000000},
        {Material::white(), 0xFFFFFF},          {CSS::aliceblue(), 0xF0F8FF},
        {CSS::rebeccapurple(), 0x663399},       {CSS::darkgrey(), 0xA9A9A9},
        {CSS::yellowgreen(), 0x9ACD32},         {FlatUI::turquoise(), 0x1ABC9C},
        {FlatUI::asbestos(), 0x7F8C8D},         {FlatUI::concrete(), 0x95A5A6},
    };
    for (const Case& c : cases) EXPECT_EQ(hexValue(c.colour), c.hex) << hexString(c.colour);

    // Social colours are made from fractions of 255, exactly.
    EXPECT_DOUBLE_EQ(Social::network01().redComponent(), 0x3B / 255.0);
    EXPECT_DOUBLE_EQ(Social::network01().greenComponent(), 0x59 / 255.0);
    EXPECT_DOUBLE_EQ(Social::network01().blueComponent(), 0x98 / 255.0);
    EXPECT_EQ(hexValue(Social::network26()), 0xFFFC00u);
    // Two constants of one colour are still two objects.
    EXPECT_EQ(hexValue(Social::network10()), hexValue(Social::network11()));
    EXPECT_NE(&Social::network10(), &Social::network11());

    // The CSS order: each grey straight after its gray.
    const auto& css = CSS::all();
    EXPECT_STREQ(css.front().name, "aliceblue");
    EXPECT_STREQ(css.back().name, "yellowgreen");
    for (std::size_t i = 0; i + 2 < css.size(); ++i) {
        if (std::string(css[i].name) == "darkgray") {
            EXPECT_STREQ(css[i + 1].name, "darkgrey");
            EXPECT_STREQ(css[i + 2].name, "darkgreen");
        }
    }
}

TEST(Palettes, AnAliasIsTheVeryObjectOfItsFiveHundredShadeWhicheverIsReadFirst) {
    // Alias first for red, shade first for pink; then every group.
    const Color* redAlias = &Material::red();
    EXPECT_EQ(redAlias, &Material::red500());
    const Color* pinkShade = &Material::pink500();
    EXPECT_EQ(&Material::pink(), pinkShade);
    const std::vector<std::pair<const Color& (*)(), const Color& (*)()>> groups = {
        {&Material::purple, &Material::purple500},
        {&Material::indigo, &Material::indigo500},
        {&Material::brown, &Material::brown500},
        {&Material::grey, &Material::grey500},
        {&Material::blueGrey, &Material::blueGrey500}};
    for (const auto& [alias, shade] : groups) EXPECT_EQ(&alias(), &shade());
    EXPECT_EQ(&Material::red(), redAlias) << "later reads answer the same object";
}

TEST(Palettes, EveryConstantIsOpaqueAndAlwaysTheSameObject) {
    for (const auto* palette : palettes()) {
        for (const PaletteEntry& entry : *palette) {
            const Color& colour = entry.read();
            EXPECT_EQ(colour.alphaComponent(), 1.0) << entry.name;
            EXPECT_EQ(&entry.read(), &colour) << entry.name;
        }
    }
}

TEST(Palettes, ConcurrentFirstReadsMakeOneObject) {
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::vector<std::vector<const Color*>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready < kThreads) std::this_thread::yield();
            // Each thread walks the palettes from another end, so first reads collide.
            for (const auto* palette : palettes()) {
                for (std::size_t i = 0; i < palette->size(); ++i) {
                    const std::size_t at = t % 2 ? palette->size() - 1 - i : i;
                    seen[t].push_back(&(*palette)[at].read());
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 1; t < kThreads; ++t) {
        std::set<const Color*> a(seen[0].begin(), seen[0].end());
        std::set<const Color*> b(seen[t].begin(), seen[t].end());
        EXPECT_EQ(a, b) << "thread " << t;
    }
    EXPECT_EQ(std::set<const Color*>(seen[0].begin(), seen[0].end()).size(), 469u - 19u)
        << "every constant but the aliases is an object of its own";
}

}  // namespace
}  // namespace pex::palettes
