#include "beacon-core/BCNOptions.h"

#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Exception.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using ::testing::ElementsAre;

const PropertyList::Dictionary kServiceInfo{
    {"BEACON_APP_ID", PropertyList("1:1234567890:linux:0a1b2c3d")},
    {"API_KEY", PropertyList("AIzaTestKey")},
    {"PROJECT_ID", PropertyList("pexmora-test")},
    {"PUSH_SENDER_ID", PropertyList("1234567890")},
    {"BUNDLE_ID", PropertyList("com.pexmora.app")},
};

class BCNOptionsTest : public test::IsolatedTest {
  protected:
    BCNOptionsTest() {
        write("Info.plist", PropertyList(info));
        Bundle::setMainForTesting(dir.path());
        BCNOptions::resetDefaultOptions();
    }
    ~BCNOptionsTest() override {
        Bundle::setMainForTesting(std::nullopt);
        BCNOptions::resetDefaultOptions();
        BCNOptions::setDefaultAppDataCollectionQuery(nullptr);
    }

    std::filesystem::path write(const std::string& name, const PropertyList& contents) {
        return writeBytes(name, contents.serialize(PropertyList::Format::Xml));
    }
    std::filesystem::path writeBytes(const std::string& name, const std::string& bytes) {
        std::ofstream(dir.path() / name, std::ios::binary) << bytes;
        return dir.path() / name;
    }
    void useInfo(const PropertyList::Dictionary& entries) {
        write("Info.plist", PropertyList(entries));
        Bundle::setMainForTesting(dir.path());
    }

    PropertyList::Dictionary info{{"CFBundleIdentifier", PropertyList("com.pexmora.app")}};
    test::TempDir dir;
    test::LogCapture capture;
};

TEST_F(BCNOptionsTest, DefaultOptionsComeFromTheServiceInfoList) {
    write("BeaconService-Info.plist", PropertyList(kServiceInfo));
    const auto options = BCNOptions::defaultOptions();
    ASSERT_TRUE(options);
    EXPECT_EQ(options->beaconAppID(), "1:1234567890:linux:0a1b2c3d");
    EXPECT_EQ(options->APIKey(), "AIzaTestKey");
    EXPECT_EQ(options->projectID(), "pexmora-test");
    EXPECT_EQ(options->PushSenderID(), "1234567890");
    EXPECT_EQ(options->bundleID(), "com.pexmora.app");
    EXPECT_FALSE(options->clientID());
    EXPECT_TRUE(options->usingOptionsFromDefaultPlist());
    EXPECT_FALSE(options->isEditingLocked());

    // Read once: a changed file is seen only after a reset.
    write("BeaconService-Info.plist", PropertyList(PropertyList::Dictionary{}));
    EXPECT_EQ(BCNOptions::defaultOptions()->APIKey(), "AIzaTestKey");
    BCNOptions::resetDefaultOptions();
    EXPECT_FALSE(BCNOptions::defaultOptions()->APIKey());
    EXPECT_TRUE(capture.entries().empty());
}

TEST_F(BCNOptionsTest, UnusableServiceInfoListsGiveNoOptionsAndAnErrorLine) {
    EXPECT_FALSE(BCNOptions::defaultOptions());
    BCNOptions::resetDefaultOptions();
    write("BeaconService-Info.plist", PropertyList(PropertyList::Array{PropertyList("a")}));
    EXPECT_FALSE(BCNOptions::defaultOptions());
    EXPECT_FALSE(BCNOptions::defaultOptionsDictionary());
    BCNOptions::resetDefaultOptions();
    writeBytes("BeaconService-Info.plist", "\x01\x02 not a property list");
    EXPECT_FALSE(BCNOptions::defaultOptions());
    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text,
              "12.7.0 - [BeaconCore][I-COR000012] Could not locate configuration file: "
              "'BeaconService-Info.plist'.");
    EXPECT_EQ(entries[1].text,
              "12.7.0 - [BeaconCore][I-COR000011] The configuration file is not a dictionary: "
              "'BeaconService-Info.plist'.");
    EXPECT_EQ(entries[2].type, OSLogType::Error);
}

TEST_F(BCNOptionsTest, OptionsFromAnyFile) {
    const auto good = write("custom.plist", PropertyList(kServiceInfo));
    const auto options = BCNOptions::fromContentsOfFile(good);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->APIKey(), "AIzaTestKey");
    EXPECT_FALSE(options->usingOptionsFromDefaultPlist());

    EXPECT_FALSE(BCNOptions::fromContentsOfFile(std::nullopt));
    EXPECT_FALSE(BCNOptions::fromContentsOfFile(dir.path() / "missing.plist"));
    EXPECT_THAT(capture.lines(),
                ElementsAre("12.7.0 - [BeaconCore][I-COR000013] The plist file path is nil.",
                            "12.7.0 - [BeaconCore][I-COR000014] The configuration file at " +
                                (dir.path() / "missing.plist").string() +
                                " does not exist or is not a well-formed plist file."));
}

TEST_F(BCNOptionsTest, AppAndSenderIDsTakeTheMainBundleIdentifier) {
    BCNOptions options("1:2:linux:3", "2");
    EXPECT_EQ(options.beaconAppID(), "1:2:linux:3");
    EXPECT_EQ(options.PushSenderID(), "2");
    EXPECT_EQ(options.bundleID(), "com.pexmora.app");
    EXPECT_EQ(options.optionsDictionary().size(), 3u);
}

TEST_F(BCNOptionsTest, LockedOptionsAndTheirCopiesRefuseEveryChange) {
    BCNOptions options(kServiceInfo);
    options.setAPIKey("changed");
    options.setClientID(std::nullopt);
    options.setAppGroupID("group.pexmora");
    EXPECT_EQ(options.APIKey(), "changed");
    options.setEditingLocked(true);
    const BCNOptions copy = options;
    EXPECT_TRUE(copy.isEditingLocked());
    EXPECT_EQ(copy.appGroupID(), "group.pexmora");
    EXPECT_EQ(copy, options);

    for (BCNOptions target : {options, copy}) {
        try {
            target.setAPIKey("again");
            ADD_FAILURE() << "a locked option was changed";
        } catch (const Exception& e) {
            EXPECT_EQ(e.name(), "com.beacon.core");
            EXPECT_EQ(e.reason(),
                      "Attempted to modify options after it's set on BCNApp. Please modify all "
                      "properties before initializing BCNApp.");
        }
        EXPECT_THROW(target.setAppGroupID(std::nullopt), Exception);
        EXPECT_THROW(target.setBundleID("x"), Exception);
        EXPECT_EQ(target.APIKey(), "changed");
    }
}

TEST_F(BCNOptionsTest, EqualityCountsTheAppGroup) {
    BCNOptions plain(kServiceInfo);
    BCNOptions grouped(kServiceInfo);
    EXPECT_EQ(plain, grouped);
    EXPECT_EQ(plain.hash(), grouped.hash());
    grouped.setAppGroupID("group.pexmora");
    EXPECT_FALSE(plain == grouped);
    EXPECT_FALSE(grouped == plain);
    plain.setAppGroupID("group.pexmora");
    EXPECT_EQ(plain, grouped);
    plain.setProjectID("other");
    EXPECT_FALSE(plain == grouped);
}

TEST_F(BCNOptionsTest, LibraryVersionIDHasNineDigits) {
    EXPECT_EQ(BCNOptions::libraryVersionID(), "120700000");
}

struct AnalyticsCase {
    const char* name;
    PropertyList::Dictionary info;     // Info.plist entries
    PropertyList::Dictionary options;  // service-info entries
    std::optional<bool> appCollects;   // the default app's switch, none without an app
    bool deactivated, measurement, enabled, explicitlySet;
};

TEST_F(BCNOptionsTest, AnalyticsSwitches) {
    const PropertyList yes(true), no(false);
    const std::vector<AnalyticsCase> cases = {
        {"nothing set, no app", {}, {}, std::nullopt, false, false, false, false},
        {"nothing set, collecting app", {}, {}, true, false, true, true, false},
        {"deactivated wins",
         {},
         {{"BEACON_ANALYTICS_COLLECTION_DEACTIVATED", yes},
          {"IS_MEASUREMENT_ENABLED", yes},
          {"BEACON_ANALYTICS_COLLECTION_ENABLED", yes}},
         true,
         true,
         false,
         false,
         true},
        {"measurement on", {}, {{"IS_MEASUREMENT_ENABLED", yes}}, false, false, true, true, true},
        {"collection off, measurement on",
         {},
         {{"IS_MEASUREMENT_ENABLED", yes}, {"BEACON_ANALYTICS_COLLECTION_ENABLED", no}},
         std::nullopt,
         false,
         true,
         false,
         true},
        {"Info.plist before options",
         {{"BEACON_ANALYTICS_COLLECTION_ENABLED", no}},
         {{"BEACON_ANALYTICS_COLLECTION_ENABLED", yes}},
         std::nullopt,
         false,
         false,
         false,
         true},
        {"a number counts",
         {},
         {{"IS_MEASUREMENT_ENABLED", PropertyList(1)}},
         std::nullopt,
         false,
         true,
         true,
         true},
        {"a text is not explicit",
         {},
         {{"BEACON_ANALYTICS_COLLECTION_ENABLED", PropertyList("YES")}},
         std::nullopt,
         false,
         false,
         true,
         false},
    };
    for (const auto& c : cases) {
        PropertyList::Dictionary entries = info;
        entries.insert(c.info.begin(), c.info.end());
        useInfo(entries);
        const auto appCollects = c.appCollects;
        BCNOptions::setDefaultAppDataCollectionQuery([appCollects] { return appCollects; });
        const BCNOptions options(c.options);
        EXPECT_EQ(options.isAnalyticsCollectionDeactivated(), c.deactivated) << c.name;
        EXPECT_EQ(options.isMeasurementEnabled(), c.measurement) << c.name;
        EXPECT_EQ(options.isAnalyticsCollectionEnabled(), c.enabled) << c.name;
        EXPECT_EQ(options.isAnalyticsCollectionExplicitlySet(), c.explicitlySet) << c.name;
    }
}

}  // namespace
}  // namespace pex
