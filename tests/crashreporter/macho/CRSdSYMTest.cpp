#include "crashreporter/macho/CRSdSYM.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "MachOBytes.h"
#include "crashreporter/macho/CRSCodeMapping.h"
#include "platform/foundation/PropertyList.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr std::uint32_t kX86_64 = 0x01000007;

void writeFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A symbol file whose one slice has the UUID 0xA0, 0xA1, ...
Bytes symbolFile(std::uint8_t uuidFill = 0xA0) {
    return test::machO(kX86_64, 3, {test::uuidCommand(uuidFill)});
}

void writeInfo(const fs::path& folder, const PropertyList::Dictionary& info) {
    fs::create_directories(folder);
    std::ofstream(folder / "Info.plist") << PropertyList(info).serialize(PropertyList::Format::Xml);
}

TEST(CRSdSYMTest, GivesNothingWithoutAReadableSymbolFileInEitherPlace) {
    const struct {
        const char* name;
        std::function<void(const fs::path& bundle)> make;
    } cases[] = {
        {"missing", [](const fs::path&) {}},
        {"a file, not a folder", [](const fs::path& bundle) { writeFile(bundle, symbolFile()); }},
        {"an empty folder", [](const fs::path& bundle) { fs::create_directories(bundle); }},
        {"its information alone",
         [](const fs::path& bundle) {
             writeInfo(bundle, {{"CFBundleIdentifier", PropertyList("com.pexmora.app")}});
         }},
        {"a hidden file alone",
         [](const fs::path& bundle) { writeFile(bundle / ".pexmora", symbolFile()); }},
        {"a folder alone", [](const fs::path& bundle) { fs::create_directories(bundle / "sub"); }},
        {"a symbol file too short to read",
         [](const fs::path& bundle) { writeFile(bundle / "pexmora", Bytes(15, 0xCF)); }},
        {"an empty build-id folder",
         [](const fs::path& bundle) { fs::create_directories(bundle / ".build-id" / "ab"); }},
        // Beside a build-id folder, only its build-id paths count.
        {"a build-id folder without a symbol file",
         [](const fs::path& bundle) {
             writeFile(bundle / ".build-id" / "ab" / "cdef", symbolFile());
             writeFile(bundle / ".build-id" / "xy" / "cdef.debug", symbolFile());
             writeFile(bundle / "pexmora", symbolFile());
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempDir dir;
        const fs::path bundle = dir.path() / "Pexmora.debug";
        c.make(bundle);
        EXPECT_EQ(CRSdSYM::dSYMWithURL(bundle), nullptr);
    }
}

TEST(CRSdSYMTest, AFolderOfItsOwnGivesItsFirstSymbolFileAndItsInformation) {
    const test::TempDir dir;
    const fs::path bundle = dir.path() / "Pexmora.debug";
    writeInfo(bundle, {{"CFBundleIdentifier", PropertyList("com.apple.xcode.dsym.com.pexmora.app")},
                       {"CFBundleVersion", PropertyList("42")},
                       {"CFBundleShortVersionString", PropertyList("1.2.0")}});
    writeFile(bundle / "pexmora", symbolFile(0xA0));
    writeFile(bundle / "other", symbolFile(0x10));
    writeFile(bundle / ".hidden", symbolFile(0x50));
    const auto dSYM = CRSdSYM::dSYMWithURL(bundle);
    ASSERT_NE(dSYM, nullptr);
    EXPECT_EQ(dSYM->executablePath(), (bundle / "other").string());
    EXPECT_EQ(dSYM->executableURL(), bundle / "other");
    EXPECT_EQ(&dSYM->binary().path(), &dSYM->executablePath());
    EXPECT_EQ(dSYM->bundleIdentifier(), "com.pexmora.app");
    EXPECT_EQ(dSYM->bundleVersion(), "42");
    EXPECT_EQ(dSYM->shortBundleVersion(), "1.2.0");
    EXPECT_EQ(dSYM->bundle().resourceDirectory(), bundle);
    std::vector<std::string> uuids;
    dSYM->enumerateUUIDs([&](const std::string& uuid, const char* architecture) {
        uuids.push_back(std::string(architecture) + "=" + uuid);
    });
    EXPECT_EQ(uuids, (std::vector<std::string>{"x86_64=101112131415161718191a1b1c1d1e1f"}));
}

TEST(CRSdSYMTest, ADebugFolderGivesTheSymbolFileAtItsBuildIdPath) {
    const test::TempDir dir;
    const fs::path debug = dir.path() / "debug";
    // A build-id path also holds a link named without ".debug"; that one is not read.
    writeFile(debug / ".build-id" / "ab" / "cdef0123", symbolFile(0x10));
    writeFile(debug / ".build-id" / "ab" / "cdef0123.debug", symbolFile(0xA0));
    writeFile(debug / "pexmora", symbolFile(0x50));
    writeInfo(debug, {{"CFBundleIdentifier", PropertyList("com.pexmora.symbols")}});
    const auto dSYM = CRSdSYM::dSYMWithURL(debug);
    ASSERT_NE(dSYM, nullptr);
    EXPECT_EQ(dSYM->executableURL(), debug / ".build-id" / "ab" / "cdef0123.debug");
    // An identifier without the bundle tools' prefix is the program's own.
    EXPECT_EQ(dSYM->bundleIdentifier(), "com.pexmora.symbols");
    EXPECT_EQ(dSYM->bundleVersion(), "");
    std::vector<std::string> uuids;
    dSYM->enumerateUUIDs([&](const std::string& uuid, const char*) { uuids.push_back(uuid); });
    EXPECT_EQ(uuids, (std::vector<std::string>{"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf"}));
}

TEST(CRSCodeMappingTest, KeepsItsURLAndSourceAndHasNoSourceName) {
    const auto mapping = CRSCodeMapping::mappingWithURL("/usr/lib/debug/pexmora.debug");
    EXPECT_EQ(mapping->URL(), fs::path("/usr/lib/debug/pexmora.debug"));
    EXPECT_EQ(mapping->source(), 0);
    mapping->setSource(3);
    EXPECT_EQ(mapping->source(), 3);
    EXPECT_EQ(mapping->sourceName(), std::nullopt);
}

}  // namespace
}  // namespace pex
