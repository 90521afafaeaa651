#include "beacon-core/BCNBeaconUserAgent.h"

#include <fstream>

#include <gtest/gtest.h>

#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class BCNBeaconUserAgentTest : public ::testing::Test {
  protected:
    ~BCNBeaconUserAgentTest() override { Bundle::setMainForTesting(std::nullopt); }

    void useInfo(const PropertyList::Dictionary& info) {
        std::ofstream(dir.path() / "Info.plist")
            << PropertyList(info).serialize(PropertyList::Format::Xml);
        Bundle::setMainForTesting(dir.path());
    }

    // The environment items of this machine when the Info.plist names no build tools.
    static std::string environmentItems() {
        return "apple-platform/macos appstore/false deploy/swiftpm device/" +
               UTLAppEnvironmentUtil::deviceModel() + " os-version/" +
               UTLAppEnvironmentUtil::systemVersion();
    }

    test::TempDir dir;
};

TEST_F(BCNBeaconUserAgentTest, LibrariesAndEnvironmentSortedWithoutRegardToCase) {
    useInfo({{"DTSDKBuild", PropertyList("23A344")}, {"DTXcodeBuild", PropertyList("15A240d")}});
    BCNBeaconUserAgent agent;
    for (const char* library : {"bcn-ios", "bcn-install", "beacon-crashreporter", "bcn-ses"})
        agent.setValue(BCNBeaconVersion(), library);
    agent.setValue("1.0", "Zeta");
    const std::string text = agent.beaconUserAgent();
    // "Zeta" sorts last only when case is ignored.
    EXPECT_EQ(text,
              "apple-platform/macos apple-sdk/23A344 appstore/false bcn-install/12.7.0 "
              "bcn-ios/12.7.0 bcn-ses/12.7.0 beacon-crashreporter/12.7.0 deploy/swiftpm "
              "device/" +
                  UTLAppEnvironmentUtil::deviceModel() + " os-version/" +
                  UTLAppEnvironmentUtil::systemVersion() + " xcode/15A240d Zeta/1.0");
    EXPECT_EQ(BCNBeaconUserAgent::currentEnvironmentComponents().size(), 7u);
}

TEST_F(BCNBeaconUserAgentTest, EntriesWithoutASourceAreLeftOut) {
    useInfo({});
    BCNBeaconUserAgent agent;
    EXPECT_EQ(agent.beaconUserAgent(), environmentItems());
    EXPECT_EQ(agent.environmentComponents().count("xcode"), 0u);
    EXPECT_EQ(agent.environmentComponents().count("apple-sdk"), 0u);
}

TEST_F(BCNBeaconUserAgentTest, TextIsCachedUntilAnEntryChanges) {
    useInfo({});
    BCNBeaconUserAgent agent;
    agent.setValue("1.0", "lib");
    const std::string first = agent.beaconUserAgent();
    EXPECT_EQ(agent.beaconUserAgent(), first);
    EXPECT_NE(first.find("lib/1.0"), std::string::npos);

    agent.setValue("2.0", "lib");  // the same name twice keeps the last version
    EXPECT_NE(agent.beaconUserAgent().find("lib/2.0"), std::string::npos);
    EXPECT_EQ(agent.beaconUserAgent().find("lib/1.0"), std::string::npos);

    agent.setValue("macos-override", "apple-platform");  // the environment entry wins
    EXPECT_NE(agent.beaconUserAgent().find("apple-platform/macos "), std::string::npos);

    agent.setValue(std::nullopt, "lib");
    EXPECT_EQ(agent.beaconUserAgent().find("lib/"), std::string::npos);

    agent.setValue("1.0", "other");
    agent.reset();
    EXPECT_EQ(agent.beaconUserAgent(), environmentItems());
}

}  // namespace
}  // namespace pex
