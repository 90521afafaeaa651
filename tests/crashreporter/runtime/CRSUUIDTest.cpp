#include "crashreporter/runtime/CRSUUID.h"

#include <cstdint>
#include <cstring>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "crashreporter/runtime/CRSHex.h"

namespace pex {
namespace {

TEST(CRSUUIDTest, RedactsTheFirstParenthesisedIdentifier) {
    const std::pair<std::string, std::string> cases[] = {
        {"Open (01234567-89AB-cdef-0123-456789ABCDEF) now",
         "Open (********-****-****-****-************) now"},
        {"(short) then (01234567-89AB-CDEF-0123-456789ABCDEF)",
         "(short) then (********-****-****-****-************)"},
        {"(01234567-89AB-CDEF-0123-456789ABCDEF)(01234567-89AB-CDEF-0123-456789ABCDEF)",
         "(********-****-****-****-************)(01234567-89AB-CDEF-0123-456789ABCDEF)"},
        {"(01234567-89AB-CDEF-0123-456789ABCDEF0)", "(01234567-89AB-CDEF-0123-456789ABCDEF0)"},
        {"no identifier (", "no identifier ("},
        {"", ""},
    };
    for (const auto& [input, expected] : cases) {
        std::string buffer = input;
        CRSRedactUUID(buffer.data());
        EXPECT_EQ(buffer, expected) << input;
    }
    CRSRedactUUID(nullptr);
}

TEST(CRSUUIDTest, MakesAndNormalisesIdentifiers) {
    EXPECT_EQ(CRSNormalizeUUID("01234567-89AB-cdef-0123-456789ABCDEF"),
              "0123456789abcdef0123456789abcdef");

    const std::string first = CRSNewUUIDString();
    const std::regex standard(
        "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    EXPECT_TRUE(std::regex_match(first, standard)) << first;
    EXPECT_NE(CRSNewUUIDString(), first);
    EXPECT_TRUE(std::regex_match(CRSGenerateNormalizedUUID(), std::regex("[0-9a-f]{32}")));

    std::uint8_t bytes[16];
    for (int i = 0; i < 16; ++i) bytes[i] = static_cast<std::uint8_t>(i * 17);
    EXPECT_EQ(CRSUUIDBytesToHexString(bytes), "00112233445566778899aabbccddeeff");
}

TEST(CRSHexTest, ConvertsBetweenBytesAndDigits) {
    const std::pair<char, std::uint8_t> digits[] = {{'0', 0},  {'9', 9},  {'a', 10},  {'f', 15},
                                                    {'A', 10}, {'F', 15}, {'g', 255}, {' ', 255}};
    for (const auto& [c, value] : digits) EXPECT_EQ(CRSHexCharToValue(c), value) << c;

    char pair[2];
    CRSHexFromByte(0xA7, pair);
    EXPECT_EQ(std::string(pair, 2), "a7");

    char out[7];
    std::memset(out, 'x', sizeof out);
    const std::uint8_t bytes[] = {0x00, 0xff, 0x10};
    CRSSafeHexToString(bytes, 3, out);
    EXPECT_STREQ(out, "00ff10");
    CRSSafeHexToString(bytes, 0, out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(CRSNSDataToNSString(bytes), "00ff10");
}

TEST(CRSHexTest, HashesAsHexDigests) {
    EXPECT_EQ(CRSHashBytes("abc", 3), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(CRSHashNSString(std::string_view("abc\0ignored", 11)),
              "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(CRS256HashBytes("abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::uint8_t empty[1] = {};
    EXPECT_EQ(CRS256HashNSData(std::span<const std::uint8_t>(empty, 0)),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

}  // namespace
}  // namespace pex
