#include "crashreporter/macho/CRSMachO.h"

#include <gtest/gtest.h>

#include <functional>

#include "MachOBytes.h"

namespace pex {
namespace {

using test::Bytes;

int commandCount(const Bytes& bytes, bool* accepted = nullptr) {
    int calls = 0;
    CRSMachOSlice slice{bytes.data(), bytes.size(), 0, 0};
    const bool ok = CRSMachOSliceEnumerateLoadCommands(
        slice, [&](std::uint32_t, std::uint32_t, const std::uint8_t*) { ++calls; });
    if (accepted) {
        *accepted = ok;
    }
    return calls;
}

Bytes sound() {
    return test::machO(0x0100000C, 0, {test::uuidCommand(1), test::versionMinCommand(36, 1, 2)});
}

TEST(CRSMachOTest, SoundCommandsAreWalkedInOrderWithTheirSizes) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;
    const Bytes bytes = sound();
    CRSMachOSlice slice{bytes.data(), bytes.size(), 0, 0};
    EXPECT_TRUE(CRSMachOSliceEnumerateLoadCommands(
        slice, [&](std::uint32_t type, std::uint32_t size, const std::uint8_t*) {
            seen.emplace_back(type, size);
        }));
    EXPECT_EQ(seen, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{27, 24}, {36, 16}}));

    const Bytes thin32 = test::machO(12, 11, {test::uuidCommand(1)}, false);
    EXPECT_EQ(commandCount(thin32), 1);
}

TEST(CRSMachOTest, UntrustworthyCommandListsAreRefusedWhole) {
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
    };
    const Case cases[] = {
        // Before, a size of 0 walked the same command for ever.
        {"cmdsize 0", [](Bytes& b) { test::set32(b, 32 + 4, 0); }},
        {"cmdsize 4", [](Bytes& b) { test::set32(b, 32 + 4, 4); }},
        {"second cmdsize past sizeofcmds", [](Bytes& b) { test::set32(b, 32 + 24 + 4, 17); }},
        {"more commands than sizeofcmds holds", [](Bytes& b) { test::set32(b, 16, 3); }},
        {"huge command count", [](Bytes& b) { test::set32(b, 16, 0xFFFFFFFF); }},
        {"sizeofcmds past the slice", [](Bytes& b) { test::set32(b, 20, 41); }},
        {"sizeofcmds wraps", [](Bytes& b) { test::set32(b, 20, 0xFFFFFFF0); }},
        {"byte-swapped 64-bit header", [](Bytes& b) { test::set32(b, 0, 0xCFFAEDFE); }},
        {"byte-swapped 32-bit header", [](Bytes& b) { test::set32(b, 0, 0xCEFAEDFE); }},
        {"not Mach-O", [](Bytes& b) { test::set32(b, 0, 0x464C457F); }},
        {"header cut short", [](Bytes& b) { b.resize(20); }},
    };
    for (const auto& c : cases) {
        Bytes bytes = sound();
        c.damage(bytes);
        bool accepted = true;
        EXPECT_EQ(commandCount(bytes, &accepted), 0) << c.name;
        EXPECT_FALSE(accepted) << c.name;
    }
}

TEST(CRSMachOTest, SlicesOfUniversalAndThinBytes) {
    const Bytes two = test::fat({test::machO(0x01000007, 3, {}), test::machO(0x0100000C, 2, {})});
    std::vector<CRSMachOSlice> slices;
    auto collect = [&](const CRSMachOSlice& s) { slices.push_back(s); };
    ASSERT_TRUE(CRSMachOEnumerateSlicesInBytes(two, collect));
    ASSERT_EQ(slices.size(), 2u);
    EXPECT_EQ(slices[0].startAddress, two.data() + 256);
    EXPECT_STREQ(CRSMachOSliceGetArchitectureName(slices[0]), "x86_64");
    EXPECT_EQ(slices[1].startAddress, two.data() + 512);
    EXPECT_STREQ(CRSMachOSliceGetArchitectureName(slices[1]), "arm64e");

    // A slice that runs past the end of the file refuses the whole file.
    Bytes cut = two;
    cut.resize(512 + 16);
    slices.clear();
    EXPECT_FALSE(CRSMachOEnumerateSlicesInBytes(cut, collect));
    EXPECT_TRUE(slices.empty());

    // A byte-swapped thin header is not read for its types.
    Bytes swapped = test::machO(0x0100000C, 0, {});
    test::set32(swapped, 0, 0xCFFAEDFE);
    ASSERT_TRUE(CRSMachOEnumerateSlicesInBytes(swapped, collect));
    ASSERT_EQ(slices.size(), 1u);
    EXPECT_EQ(slices[0].cputype, 0);
}

TEST(CRSMachOTest, ArchitectureNamesVersionsAndUUIDs) {
    struct Case {
        int cputype;
        int cpusubtype;
        const char* name;
    };
    const Case cases[] = {
        {0x0100000C, 2, "arm64e"},
        {0x0100000C, 0, "arm64"},
        {0x0100000C, 1, "arm64"},
        {12, 11, "armv7s"},
        {12, 12, "armv7k"},
        {12, 9, "arm"},
        {7, 3, "i386"},
        {0x01000007, 3, "x86_64"},
        {0x0200000C, 1, "arm64_32"},
        {99, 0, "unknown"},
        {0, 0, "unknown"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(CRSMachOSliceGetArchitectureName({nullptr, 0, c.cputype, c.cpusubtype}),
                     c.name)
            << c.cputype;
    }
    EXPECT_TRUE(CRSMachOSliceIs64Bit({nullptr, 0, 0x01000007, 0}));
    EXPECT_FALSE(CRSMachOSliceIs64Bit({nullptr, 0, 12, 0}));

    EXPECT_EQ(CRSMachODecodeVersion(0x000A0F02), (CRSMachOVersion{10, 15, 2}));
    EXPECT_EQ(CRSMachOFormatVersion(CRSMachODecodeVersion(0xFFFFFFFF)), "65535.255.255");
    EXPECT_EQ(CRSMachOFormatVersion(std::nullopt), std::nullopt);
    const std::uint8_t uuid[16] = {0xDE, 0xAD, 0xBE, 0xEF, 0, 1, 2,    3,
                                   4,    5,    6,    7,    8, 9, 0xAB, 0xCD};
    EXPECT_EQ(CRSMachONormalizeUUID(uuid), "deadbeef00010203040506070809abcd");
}

TEST(CRSMachOTest, CommandReadersStayInsideTheirCommand) {
    std::uint8_t out[16];
    const Bytes uuid = test::uuidCommand(7);
    EXPECT_TRUE(CRSMachOGetUUID(uuid.data(), 24, out));
    EXPECT_EQ(out[15], 7 + 15);
    EXPECT_FALSE(CRSMachOGetUUID(uuid.data(), 23, out));

    Bytes dylib = test::dylibCommand("/lib/a");
    EXPECT_EQ(CRSMachOGetDylibName(dylib.data(), static_cast<std::uint32_t>(dylib.size())),
              "/lib/a");
    test::set32(dylib, 8, static_cast<std::uint32_t>(dylib.size()));  // name offset at the end
    EXPECT_EQ(CRSMachOGetDylibName(dylib.data(), static_cast<std::uint32_t>(dylib.size())),
              std::nullopt);
    Bytes unterminated = test::dylibCommand("/lib/abcdefg");  // 24 + 12 + NUL → 40, padded exactly
    std::fill(unterminated.begin() + 24, unterminated.end(), 'z');
    EXPECT_EQ(
        CRSMachOGetDylibName(unterminated.data(), static_cast<std::uint32_t>(unterminated.size())),
        std::string(unterminated.size() - 24, 'z'));

    const Bytes version = test::versionMinCommand(36, 0x000A0F02, 0x000B0000);
    EXPECT_EQ(CRSMachOGetLinkedSDKVersion(version.data(), 16), (CRSMachOVersion{11, 0, 0}));
    EXPECT_EQ(CRSMachOGetLinkedSDKVersion(version.data(), 12), std::nullopt);

    Bytes encryption;
    for (std::uint32_t word : {0x2Cu, 24u, 0u, 0u, 1u, 0u}) {
        test::put32(encryption, word);
    }
    EXPECT_TRUE(CRSMachOIsEncrypted(encryption.data(), 24));
    EXPECT_FALSE(CRSMachOIsEncrypted(encryption.data(), 16));
    test::set32(encryption, 16, 0);
    EXPECT_FALSE(CRSMachOIsEncrypted(encryption.data(), 24));
}

}  // namespace
}  // namespace pex
