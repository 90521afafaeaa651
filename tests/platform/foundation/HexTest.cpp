#include "platform/foundation/Hex.h"

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(HexTest, BytesBecomeTwoDigitsEachHighNibbleFirstInTheAskedCase) {
    struct Case {
        std::string bytes;
        HexCase letterCase;
        const char* text;
    };
    const Case cases[] = {
        {"", HexCase::Lower, ""},
        {std::string("\x00\x0f\xa5\xff", 4), HexCase::Lower, "000fa5ff"},
        {std::string("\x00\x0f\xa5\xff", 4), HexCase::Upper, "000FA5FF"},
        {"\x12\x9b", HexCase::Upper, "129B"},
    };
    for (const Case& c : cases) EXPECT_EQ(hexString(c.bytes, c.letterCase), c.text) << c.text;
}

TEST(HexTest, ADigitIsTakenFromTheLowFourBitsOnly) {
    EXPECT_EQ(hexDigit(0x3A), 'a');
    EXPECT_EQ(hexDigit(0x3A, HexCase::Upper), 'A');
    EXPECT_EQ(hexDigit(0xFFFFFFF9u), '9');
    static_assert(hexDigit(15) == 'f', "usable where a constant is needed");
}

}  // namespace
}  // namespace pex
