#include "crashreporter/runtime/CRSContextMetadata.h"

#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSFileReader.h"

namespace pex {
namespace {

using CRSContextMetadataTest = test::CrashContextTest;

// True when the keys appear in the text in this order.
bool inOrder(const std::string& text, const std::vector<std::string>& keys) {
    std::size_t at = 0;
    for (const std::string& key : keys) {
        at = text.find("\"" + key + "\":", at);
        if (at == std::string::npos) return false;
    }
    return true;
}

TEST_F(CRSContextMetadataTest, WritesFourSectionsThatParseBack) {
    std::ofstream(root() / "metadata.clsrecord") << "stale";
    CRSContextInitData initData;
    initData.rootPath = root().string();
    initData.sessionId = "0123456789abcdef0123456789abcdef";
    initData.installId = "5f1c0e7a-2b8d-4c3e-9a61-0d2f4b7e8c90";
    const Bundle bundle(nlohmann::json{{"CFBundleIdentifier", "com/pexmora/app"},
                                       {"CFBundleVersion", "42"},
                                       {"CFBundleShortVersionString", "1.2.3"}});
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(CRSContextRecordMetadata(root().c_str(), initData, bundle));

    const std::string path = (root() / "metadata.clsrecord").string();
    const auto sections = CRSFileReadSections(path.c_str(), false);
    ASSERT_TRUE(sections);
    ASSERT_EQ(sections->size(), 4u);
    const nlohmann::json& identity = (*sections)[0]["identity"];
    const nlohmann::json& host = (*sections)[1]["host"];
    const nlohmann::json& application = (*sections)[2]["application"];
    const nlohmann::json& executable = (*sections)[3]["executable"];

    EXPECT_EQ(identity["generator"], "CrashReporter macOS SDK/12.7.0");
    EXPECT_EQ(identity["display_version"], "12.7.0");
    EXPECT_GE(identity["started_at"].get<std::time_t>(), before);
    EXPECT_EQ(identity["session_id"], "0123456789abcdef0123456789abcdef");
    EXPECT_TRUE(identity["app_quality_session_id"].is_null());
    EXPECT_EQ(identity["install_id"], "5f1c0e7a-2b8d-4c3e-9a61-0d2f4b7e8c90");
    EXPECT_EQ(identity["beta_token"], "");
    EXPECT_EQ(identity["absolute_log_timestamps"], true);

    EXPECT_EQ(host["platform"], "mac");
    EXPECT_EQ(host["beacon_platform"], "macos");
    for (const char* key :
         {"model", "machine", "cpu", "os_build_version", "os_display_version", "locale"}) {
        ASSERT_TRUE(host[key].is_string()) << key;
        EXPECT_FALSE(host[key].get<std::string>().empty()) << key;
    }
    EXPECT_EQ(host["machine"], "x86_64");

    EXPECT_EQ(application["bundle_id"], "com_pexmora_app");
    EXPECT_TRUE(application["custom_bundle_id"].is_null());
    EXPECT_EQ(application["build_version"], "42");
    EXPECT_EQ(application["display_version"], "1.2.3");
    EXPECT_TRUE(application["extension_id"].is_null());

    EXPECT_EQ(executable["architecture"], "x86_64");
    EXPECT_EQ(executable["uuid"].get<std::string>().size(), 40u);
    EXPECT_GT(executable["base"].get<std::uint64_t>(), 0u);
    EXPECT_GT(executable["size"].get<std::uint64_t>(), 0u);
    EXPECT_EQ(executable["encrypted"], false);
    EXPECT_TRUE(executable["minimum_sdk_version"].is_null());

    const std::string text = test::fileText(path);
    EXPECT_TRUE(inOrder(text, {"identity",
                               "generator",
                               "display_version",
                               "build_version",
                               "started_at",
                               "session_id",
                               "app_quality_session_id",
                               "install_id",
                               "beta_token",
                               "absolute_log_timestamps",
                               "host",
                               "model",
                               "machine",
                               "cpu",
                               "os_build_version",
                               "os_display_version",
                               "platform",
                               "beacon_platform",
                               "locale",
                               "application",
                               "bundle_id",
                               "custom_bundle_id",
                               "build_version",
                               "display_version",
                               "extension_id",
                               "executable",
                               "architecture",
                               "uuid",
                               "base",
                               "size",
                               "encrypted",
                               "minimum_sdk_version",
                               "built_sdk_version"}))
        << text;
}

// An installation identifier not known at set-up is left out, never written as an empty one.
TEST_F(CRSContextMetadataTest, LeavesOutAnUnknownInstallId) {
    for (const std::optional<std::string>& installId :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        CRSContextInitData initData;
        initData.rootPath = root().string();
        initData.installId = installId;
        ASSERT_TRUE(CRSContextRecordMetadata(root().c_str(), initData, Bundle()));
        const std::string path = (root() / "metadata.clsrecord").string();
        const auto sections = CRSFileReadSections(path.c_str(), false);
        ASSERT_TRUE(sections);
        ASSERT_FALSE(sections->empty());
        const nlohmann::json& identity = (*sections)[0]["identity"];
        EXPECT_TRUE(identity.contains("session_id")) << identity.dump();
        EXPECT_FALSE(identity.contains("install_id")) << identity.dump();
    }
}

TEST_F(CRSContextMetadataTest, ReportsAFolderItCannotWriteTo) {
    CRSContextInitData initData;
    EXPECT_FALSE(CRSContextRecordMetadata((root() / "missing").c_str(), initData));
    EXPECT_NE(sdkLog().find("Unable to open metadata file"), std::string::npos);
}

}  // namespace
}  // namespace pex
