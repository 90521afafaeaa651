#include "crashreporter/network/CRSApplicationIdentifierModel.h"

#include <gtest/gtest.h>

#include "platform/mach/LoadedImages.h"

namespace pex {
namespace {

TEST(CRSApplicationIdentifierModelTest, InstanceIDIsTheSHA1OfTheIdentifiersInArchitectureOrder) {
    // SHA-1 of the build id's hex text, the one architecture's identifier.
    EXPECT_EQ(CRSApplicationIdentifierModel::computeInstanceIdentifier(
                  {{"x86_64", "0123456789abcdef0123456789abcdef01234567"}}),
              "158b484ae1f6f64f89da22397d25fbdafad02252");
    // Two slices: "arm64" sorts before "x86_64", whatever order they were found in.
    EXPECT_EQ(CRSApplicationIdentifierModel::computeInstanceIdentifier(
                  {{"x86_64", std::string(32, 'b')}, {"arm64", std::string(32, 'a')}}),
              "f177630e1bb1c99b15d5f35ff7ebe38104dfe34b");
    // No identifier at all: the digest of nothing.
    EXPECT_EQ(CRSApplicationIdentifierModel::computeInstanceIdentifier({}),
              "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(CRSApplicationIdentifierModelTest, TheRunningProgramIsKnownByItsBuildID) {
    const auto model = CRSApplicationIdentifierModel::create(
        Bundle(nlohmann::json{{"CFBundleIdentifier", "com.pexmora/app"},
                              {"CFBundleName", "Pexmora"},
                              {"CFBundleVersion", "204"},
                              {"CFBundleShortVersionString", "2.4"}}));
    ASSERT_TRUE(model);
    std::string buildID;
    for (const LoadedImage& image : LoadedImages::enumerate()) {
        if (image.isMainProgram) {
            buildID = CRSApplicationIdentifierModel::lowercaseHex(image.layout.buildId,
                                                                  image.layout.buildIdSize);
        }
    }
    ASSERT_EQ(buildID.size(), 40u) << "the test program is linked with a build id";
    EXPECT_EQ(model->architectureUUIDMap(),
              (CRSApplicationIdentifierModel::ArchitectureUUIDMap{
                  {CRSApplicationIdentifierModel::architectureName(), buildID}}));
    EXPECT_EQ(model->buildInstanceID(),
              CRSApplicationIdentifierModel::computeInstanceIdentifier({{"x86_64", buildID}}));
    EXPECT_EQ(model->buildInstanceID().size(), 40u);

    EXPECT_EQ(model->bundleID(), "com.pexmora_app");
    EXPECT_EQ(model->displayName(), "Pexmora");
    EXPECT_EQ(model->platform(), "mac");
    EXPECT_EQ(model->buildVersion(), "204");
    EXPECT_EQ(model->displayVersion(), "2.4");
    EXPECT_EQ(model->synthesizedVersion(), "2.4 (204)");
    EXPECT_EQ(model->installSource(), 1);
    EXPECT_EQ(model->builtSDKString(), "0.0.0");
    EXPECT_EQ(model->minimumSDKString(), "0.0.0");
}

}  // namespace
}  // namespace pex
