#include "crashreporter/runtime/CRSApplication.h"

#include <string>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSHost.h"

namespace pex {
namespace {

using nlohmann::json;

TEST(CRSApplicationTest, ReadsTheBundleFacts) {
    const Bundle full(json{{"CFBundleIdentifier", "com/pexmora/app"},
                           {"CFBundleVersion", "42"},
                           {"CFBundleShortVersionString", "1.2"},
                           {"CFBundleName", "Pexmora"},
                           {"CFBundleDisplayName", "Pexmora Display"}});
    EXPECT_EQ(CRSApplicationGetBundleIdentifier(full), "com_pexmora_app");
    EXPECT_EQ(CRSApplicationGetBuildVersion(full), "42");
    EXPECT_EQ(CRSApplicationGetDisplayVersion(full), "1.2");
    EXPECT_EQ(CRSApplicationGetName(full), "Pexmora Display");
    EXPECT_EQ(CRSApplicationGetName(Bundle(json{{"CFBundleName", "N"}})), "N");
    EXPECT_EQ(CRSApplicationGetName(Bundle(json{{"CFBundleVersion", "7"}})), "7");

    const Bundle empty;
    EXPECT_EQ(CRSApplicationGetBundleIdentifier(empty), "");
    EXPECT_EQ(CRSApplicationGetBuildVersion(empty), std::nullopt);
    EXPECT_EQ(CRSApplicationGetName(empty), std::nullopt);
    EXPECT_EQ(CRSApplicationGetSDKBundleID(), "com.beacon.crashreporter.mac");
    EXPECT_EQ(CRSApplicationGetPlatform(), "mac");
    EXPECT_EQ(CRSApplicationGetBeaconPlatform(), "macos");
}

using CRSApplicationExtensionTest = test::CrashContextTest;

TEST_F(CRSApplicationExtensionTest, ReadsTheExtensionPointAndReportsMalformedEntries) {
    const Bundle extension(
        json{{"NSExtension", {{"NSExtensionPointIdentifier", "com.example.point"}}}});
    EXPECT_EQ(CRSApplicationExtensionPointID(extension), "com.example.point");
    EXPECT_TRUE(CRSApplicationIsExtension(extension));
    EXPECT_FALSE(CRSApplicationIsExtension(Bundle()));

    EXPECT_EQ(CRSApplicationExtensionPointID(Bundle(json{{"NSExtension", "text"}})), std::nullopt);
    EXPECT_EQ(CRSApplicationExtensionPointID(
                  Bundle(json{{"NSExtension", {{"NSExtensionPointIdentifier", 5}}}})),
              std::nullopt);
    const std::string log = sdkLog();
    EXPECT_NE(log.find("Error: NSExtension Info.plist entry is mal-formed\n"), std::string::npos);
    EXPECT_NE(log.find("Error: NSExtensionPointIdentifier Info.plist entry is mal-formed\n"),
              std::string::npos);
}

TEST(CRSHostTest, FormatsTheDisplayVersionAsThreeNumbers) {
    EXPECT_EQ(CRSHostFormatDisplayVersion(std::string("12")), "12.0.0");
    EXPECT_EQ(CRSHostFormatDisplayVersion(std::string("22.04")), "22.4.0");
    EXPECT_EQ(CRSHostFormatDisplayVersion(std::string("3.19.1.5")), "3.19.1");
    EXPECT_EQ(CRSHostFormatDisplayVersion(std::string("rolling")), "0.0.0");
    EXPECT_EQ(CRSHostFormatDisplayVersion(std::nullopt), "0.0.0");
    EXPECT_EQ(CRSSDKGeneratorName(), "CrashReporter macOS SDK/12.7.0");
    EXPECT_FALSE(CRSHostIsRosettaTranslated());
}

}  // namespace
}  // namespace pex
