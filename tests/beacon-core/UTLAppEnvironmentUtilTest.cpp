#include "beacon-core/UTLAppEnvironmentUtil.h"

#include <gtest/gtest.h>

namespace pex {
namespace {

TEST(UTLAppEnvironmentUtilTest, SystemVersionFromKernelRelease) {
    const std::pair<const char*, const char*> cases[] = {
        {"14.0.0", "14.0"},
        {"14.2.1", "14.2.1"},
        {"6.1.0-18-amd64", "6.1"},
        {"5.15.133.1-microsoft-standard", "5.15.133"},
        {"6.8", "6.8"},
        {"6", "6.0"},
        {"6.5.0+rt", "6.5"},
        {"", "0.0"},
        {"linux", "0.0"},
        {"99999999999.1.1", "999999999.1.1"},
    };
    for (const auto& [release, version] : cases)
        EXPECT_EQ(UTLAppEnvironmentUtil::systemVersionFromRelease(release), version) << release;
    EXPECT_NE(UTLAppEnvironmentUtil::systemVersion().find('.'), std::string::npos);
}

TEST(UTLAppEnvironmentUtilTest, DeviceModelIsTheProductNameElseTheMachine) {
    EXPECT_EQ(UTLAppEnvironmentUtil::deviceModelFrom("ThinkPad X1 Carbon\n", "x86_64"),
              "ThinkPad X1 Carbon");
    EXPECT_EQ(UTLAppEnvironmentUtil::deviceModelFrom("  ", "x86_64"), "x86_64");
    EXPECT_EQ(UTLAppEnvironmentUtil::deviceModelFrom(std::nullopt, "aarch64"), "aarch64");
    EXPECT_FALSE(UTLAppEnvironmentUtil::deviceModel().empty());
}

TEST(UTLAppEnvironmentUtilTest, KernelParametersByDottedName) {
    EXPECT_EQ(UTLAppEnvironmentUtil::getSysctlEntry("kernel.ostype"), "Linux");
    for (const char* name : {"", "hw.model", "kernel/ostype", "..kernel.ostype", ".kernel"})
        EXPECT_FALSE(UTLAppEnvironmentUtil::getSysctlEntry(name)) << name;
}

TEST(UTLAppEnvironmentUtilTest, FixedAnswersOfThisPlatform) {
    EXPECT_FALSE(UTLAppEnvironmentUtil::isFromAppStore());
    EXPECT_FALSE(UTLAppEnvironmentUtil::isAppStoreReceiptSandbox());
    EXPECT_FALSE(UTLAppEnvironmentUtil::isSimulator());
    EXPECT_TRUE(UTLAppEnvironmentUtil::supportsBackgroundURLSessionUploads());
    EXPECT_EQ(UTLAppEnvironmentUtil::applePlatform(), "macos");
    EXPECT_EQ(UTLAppEnvironmentUtil::deploymentType(), "swiftpm");
    EXPECT_EQ(UTLNetworkInfo::getNetworkType(), -1);
    EXPECT_EQ(UTLNetworkInfo::getNetworkRadioType(), "");
}

}  // namespace
}  // namespace pex
