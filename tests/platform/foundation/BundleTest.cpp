#include "platform/foundation/Bundle.h"

#include <fstream>

#include "support/TestSupport.h"

namespace pex {
namespace {
namespace fs = std::filesystem;

fs::path writePlist(const fs::path& folder, const std::string& body) {
    const fs::path file = folder / "Info.plist";
    std::ofstream(file) << R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">)" << body
                        << "</plist>\n";
    return file;
}

TEST(BundleTest, ReadsTheFourFieldsAndOtherValues) {
    test::TempDir dir;
    Bundle bundle = Bundle::fromFile(writePlist(dir.path(), R"(<dict>
    <key>CFBundleShortVersionString</key><string>1.2.3</string>
    <key>CFBundleVersion</key><string>45</string>
    <key>CFBundleIdentifier</key><string>com.example.app</string>
    <key>CFBundleDisplayName</key><string>面试助手</string>
    <key>Count</key><integer>7</integer>
    <key>Enabled</key><true/>
    <key>Schemes</key><array><string>a</string><string>b</string></array>
    <key>Blob</key><data>AQID</data>
</dict>)"));
    EXPECT_EQ(bundle.shortVersion(), "1.2.3");
    EXPECT_EQ(bundle.buildVersion(), "45");
    EXPECT_EQ(bundle.bundleIdentifier(), "com.example.app");
    EXPECT_EQ(bundle.displayName(), "面试助手");
    EXPECT_EQ(bundle.value("Count"), 7);
    EXPECT_EQ(bundle.value("Enabled"), true);
    EXPECT_EQ(bundle.value("Schemes"), nlohmann::json({"a", "b"}));
    EXPECT_EQ(bundle.value("Blob")->get_binary(), nlohmann::json::binary_t({1, 2, 3}));
    EXPECT_EQ(bundle.string("Count"), std::nullopt);  // not text
}

TEST(BundleTest, DisplayNameFallsBackToTheBundleName) {
    test::TempDir dir;
    Bundle bundle = Bundle::fromFile(
        writePlist(dir.path(), "<dict><key>CFBundleName</key><string>Named</string></dict>"));
    EXPECT_EQ(bundle.displayName(), "Named");
    EXPECT_EQ(bundle.shortVersion(), "");
}

TEST(BundleTest, MissingOrBadFilesGiveAnEmptyBundle) {
    test::TempDir dir;
    std::ofstream(dir.path() / "garbage.plist") << "<plist><dict><key>x</key>";
    for (const fs::path& file :
         {dir.path() / "missing.plist", dir.path() / "garbage.plist",
          writePlist(dir.path(), "<array><string>not a dictionary</string></array>")}) {
        ::testing::internal::CaptureStderr();
        Bundle bundle = Bundle::fromFile(file);
        ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(bundle.info().empty()) << file;
        EXPECT_EQ(bundle.shortVersion(), "") << file;
    }
}

TEST(BundleTest, TheBuiltInfoPlistCarriesTheProjectVersion) {
    Bundle bundle = Bundle::fromFile(PEXMORA_BUILT_INFO_PLIST);
    EXPECT_EQ(bundle.shortVersion(), PEXMORA_PROJECT_VERSION);
    EXPECT_FALSE(bundle.buildVersion().empty());
    EXPECT_FALSE(bundle.bundleIdentifier().empty());
    EXPECT_EQ(bundle.displayName(), "Pexmora");
}

TEST(BundleTest, ExecutableDirectoryIsThisProgramsFolder) {
    EXPECT_TRUE(fs::exists(Bundle::executableDirectory() / "test_platform_foundation_BundleTest"));
}

TEST(BundleTest, ATestBundleReplacesTheMainOneWithItsResources) {
    test::TempDir dir;
    writePlist(dir.path(), R"(<dict>
<key>CFBundleIdentifier</key><string>com.example.sdk</string>
<key>BeaconSessionsEnabled</key><false/>
</dict>)");
    std::ofstream(dir.path() / "BeaconService-Info.plist") << "x";
    fs::create_directories(dir.path() / "folder.plist");

    Bundle::setMainForTesting(dir.path());
    const Bundle bundle = Bundle::main();
    EXPECT_EQ(bundle.bundleIdentifier(), "com.example.sdk");
    EXPECT_EQ(bundle.value("BeaconSessionsEnabled"), nlohmann::json(false));
    EXPECT_EQ(bundle.pathForResource("BeaconService-Info", "plist"),
              dir.path() / "BeaconService-Info.plist");
    EXPECT_EQ(bundle.pathForResource("Info", ""), std::nullopt);  // no such file
    for (const char* name : {"", "..", "../Info", "folder"})
        EXPECT_EQ(bundle.pathForResource(name, "plist"), std::nullopt) << name;

    Bundle::setMainForTesting(std::nullopt);
    EXPECT_EQ(Bundle::main().resourceDirectory(), Bundle::executableDirectory());
    EXPECT_EQ(Bundle().pathForResource("BeaconService-Info", "plist"), std::nullopt);
}

}  // namespace
}  // namespace pex
