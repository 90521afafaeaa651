#include "beacon-core/BCNBundleUtil.h"

#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/PropertyList.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using ::testing::ElementsAre;

TEST(BCNBundleUtilTest, ResourcesIdentifiersAndSchemesOfTheApplication) {
    test::TempDir dir;
    const PropertyList::Dictionary urlType{
        {"CFBundleURLSchemes",
         PropertyList(PropertyList::Array{PropertyList("pexmora"), PropertyList("pex")})}};
    const PropertyList::Dictionary info{
        {"CFBundleIdentifier", PropertyList("com.pexmora.app")},
        {"CFBundleURLTypes", PropertyList(PropertyList::Array{PropertyList(urlType)})}};
    std::ofstream(dir.path() / "Info.plist")
        << PropertyList(info).serialize(PropertyList::Format::Xml);
    std::ofstream(dir.path() / "BeaconService-Info.plist") << "x";
    Bundle::setMainForTesting(dir.path());

    const auto bundles = BCNBundleUtil::relevantBundles();
    ASSERT_EQ(bundles.size(), 1u);
    EXPECT_EQ(BCNBundleUtil::optionsDictionaryPathWithResourceName("BeaconService-Info", "plist",
                                                                   bundles),
              dir.path() / "BeaconService-Info.plist");
    EXPECT_FALSE(BCNBundleUtil::optionsDictionaryPathWithResourceName("Other", "plist", bundles));
    EXPECT_FALSE(BCNBundleUtil::optionsDictionaryPathWithResourceName("../x", "plist", bundles));
    EXPECT_TRUE(BCNBundleUtil::hasBundleIdentifierPrefix("com.pexmora.app", bundles));
    EXPECT_FALSE(BCNBundleUtil::hasBundleIdentifierPrefix("com.pexmora", bundles));
    EXPECT_THAT(BCNBundleUtil::relevantURLSchemes(), ElementsAre("pexmora", "pex"));
    Bundle::setMainForTesting(std::nullopt);
}

TEST(BCNBundleUtilTest, RemovingTheLastPartOfAnIdentifier) {
    EXPECT_EQ(BCNBundleUtil::bundleIdentifierByRemovingLastPartFrom("com.pexmora.app.widget"),
              "com.pexmora.app");
    EXPECT_EQ(BCNBundleUtil::bundleIdentifierByRemovingLastPartFrom("single"), "");
    EXPECT_EQ(BCNBundleUtil::bundleIdentifierByRemovingLastPartFrom("a."), "a");
}

}  // namespace
}  // namespace pex
