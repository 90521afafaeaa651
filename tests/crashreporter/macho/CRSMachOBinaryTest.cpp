#include "crashreporter/macho/CRSMachOBinary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "MachOBytes.h"
#include "crashreporter/runtime/CRSHex.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using test::Bytes;
using test::TempDir;

constexpr std::uint32_t kArm64 = 0x0100000C;
constexpr std::uint32_t kX86_64 = 0x01000007;

std::string writeFile(const TempDir& dir, const std::string& name, const Bytes& bytes) {
    const auto path = dir.path() / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

Bytes arm64Slice() {
    return test::machO(kArm64, 0,
                       {test::uuidCommand(0x10), test::dylibCommand("/usr/lib/libSystem.B.dylib"),
                        test::versionMinCommand(36, 0x000A0F02, 0x000B0100)});
}

Bytes x86Slice() {
    return test::machO(
        kX86_64, 3, {test::versionMinCommand(37, 0x000E0000, 0x000F0203), test::uuidCommand(0xA0)});
}

TEST(CRSMachOBinaryTest, FilesThatCannotBeReadGiveNoBinary) {
    TempDir dir;
    EXPECT_EQ(CRSMachOBinary::MachOBinaryWithPath(writeFile(dir, "short", Bytes(15, 0xFE))),
              nullptr);
    EXPECT_EQ(CRSMachOBinary::MachOBinaryWithPath(dir.path().string()), nullptr);
    EXPECT_EQ(CRSMachOBinary::MachOBinaryWithPath((dir.path() / "missing").string()), nullptr);
    // A universal header that promises more records than the file holds.
    Bytes lying;
    test::putBig32(lying, 0xCAFEBABE);
    test::putBig32(lying, 1000);
    lying.resize(64, 0);
    EXPECT_EQ(CRSMachOBinary::MachOBinaryWithPath(writeFile(dir, "lying", lying)), nullptr);
}

TEST(CRSMachOBinaryTest, AFileThatIsNotMachOIsOneSliceWithNoType) {
    TempDir dir;
    const auto binary = CRSMachOBinary::MachOBinaryWithPath(writeFile(dir, "text", Bytes(16, 'x')));
    ASSERT_NE(binary, nullptr);
    ASSERT_EQ(binary->slices().size(), 1u);
    EXPECT_EQ(binary->slices()[0].slice().cputype, 0);
    EXPECT_STREQ(binary->slices()[0].architectureName(), "unknown");
    EXPECT_EQ(binary->slices()[0].uuid(), "");
    EXPECT_TRUE(binary->slices()[0].linkedDylibs().empty());
}

TEST(CRSMachOBinaryTest, AUniversalFileGivesItsSlicesInFileOrder) {
    TempDir dir;
    const auto binary = CRSMachOBinary::MachOBinaryWithPath(
        writeFile(dir, "fat", test::fat({x86Slice(), arm64Slice()})));
    ASSERT_NE(binary, nullptr);
    ASSERT_EQ(binary->slices().size(), 2u);
    const auto& x86 = binary->slices()[0];
    const auto& arm = binary->slices()[1];
    EXPECT_STREQ(x86.architectureName(), "x86_64");
    EXPECT_EQ(x86.uuid(), "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
    EXPECT_EQ(x86.minimumOSVersion(), (CRSMachOVersion{14, 0, 0}));
    EXPECT_EQ(x86.linkedSDKVersion(), (CRSMachOVersion{15, 2, 3}));
    EXPECT_STREQ(arm.architectureName(), "arm64");
    EXPECT_EQ(arm.uuid(), "101112131415161718191a1b1c1d1e1f");
    EXPECT_EQ(arm.linkedDylibs(), (std::vector<std::string>{"/usr/lib/libSystem.B.dylib"}));
    EXPECT_EQ(CRSMachOFormatVersion(arm.minimumOSVersion()), "10.15.2");
    EXPECT_EQ(CRSMachOFormatVersion(arm.linkedSDKVersion()), "11.1.0");

    EXPECT_EQ(binary->sliceForArchitecture("arm64"), &arm);
    EXPECT_EQ(binary->sliceForArchitecture("armv7s"), nullptr);
    std::vector<std::string> seen;
    binary->enumerateUUIDs([&](const std::string& uuid, const char* architecture) {
        seen.push_back(std::string(architecture) + "=" + uuid);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"x86_64=" + x86.uuid(), "arm64=" + arm.uuid()}));
}

TEST(CRSMachOBinaryTest, TheInstanceIdentifierDoesNotDependOnSliceOrder) {
    TempDir dir;
    auto one = CRSMachOBinary::MachOBinaryWithPath(
        writeFile(dir, "one", test::fat({x86Slice(), arm64Slice()})));
    auto two = CRSMachOBinary::MachOBinaryWithPath(
        writeFile(dir, "two", test::fat({arm64Slice(), x86Slice()})));
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    // "arm64" sorts before "x86_64".
    const std::string expected = CRSHashNSString(
        "101112131415161718191a1b1c1d1e1f"
        "a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
    EXPECT_EQ(one->instanceIdentifier(), expected);
    EXPECT_EQ(two->instanceIdentifier(), expected);
    EXPECT_EQ(expected.size(), 40u);
}

}  // namespace
}  // namespace pex
