#include "beacon-core/BCNApp.h"

#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "TestLibraries.h"
#include "beacon-core/BCNComponentContainer.h"
#include "beacon-core/BCNHeartbeatLogger.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using namespace test;

constexpr const char* kAppID = "1:123:ios:0a1b2c";

class BCNAppTest : public IsolatedTest {
  protected:
    BCNAppTest() {
        useInfo({{"CFBundleIdentifier", PropertyList("com.pexmora.app")}});
        BCNApp::resetApps();
        BCNOptions::resetDefaultOptions();
        created().reset();
    }
    ~BCNAppTest() override {
        BCNApp::resetApps();
        BCNOptions::resetDefaultOptions();
        Bundle::setMainForTesting(std::nullopt);
    }
    void useInfo(const PropertyList::Dictionary& info) {
        std::ofstream(bundle.path() / "Info.plist")
            << PropertyList(info).serialize(PropertyList::Format::Xml);
        Bundle::setMainForTesting(bundle.path());
    }
    static BCNOptions options(const std::string& appID = kAppID) {
        return BCNOptions(PropertyList::Dictionary{{"BEACON_APP_ID", PropertyList(appID)},
                                                   {"BUNDLE_ID", PropertyList("com.pexmora.app")}});
    }
    // The reason of the core exception `configure` raises, or "" when it raises none.
    template <typename Configure>
    static std::string failureOf(Configure configure) {
        try {
            configure();
        } catch (const Exception& e) {
            EXPECT_EQ(e.name(), "com.beacon.core");
            return e.reason();
        }
        return "";
    }
    bool logged(const std::string& fragment) const {
        for (const auto& entry : capture.entries())
            if (entry.text.find(fragment) != std::string::npos) return true;
        return false;
    }

    TempDir bundle;
    LogCapture capture;
};

TEST_F(BCNAppTest, ConfiguresTheDefaultAppFromTheServiceInfoList) {
    std::ofstream(bundle.path() / "BeaconService-Info.plist")
        << PropertyList(options().optionsDictionary()).serialize(PropertyList::Format::Xml);
    nlohmann::json ready;
    const void* sender = nullptr;
    ScopedObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(BCNApp::kReadyToConfigureSDKNotification,
                                                        nullptr, [&](const Notification& n) {
                                                            ready = n.userInfo;
                                                            sender = n.sender;
                                                        }));
    BCNApp::configure();

    const auto app = BCNApp::defaultApp();
    ASSERT_TRUE(app);
    EXPECT_TRUE(BCNApp::isDefaultAppConfigured());
    EXPECT_EQ(app->name(), "__BCNAPP_DEFAULT");
    EXPECT_TRUE(app->isDefaultApp());
    EXPECT_EQ(app->options().beaconAppID(), kAppID);
    EXPECT_EQ(BCNApp::appNamed("__BCNAPP_DEFAULT"), app);
    EXPECT_EQ(BCNApp::allApps()->size(), 1u);
    EXPECT_EQ(ready, (nlohmann::json{{"BCNAppNameKey", "__BCNAPP_DEFAULT"},
                                     {"BCNAppIsDefaultAppKey", true},
                                     {"BCNBeaconAppIDKey", kAppID}}));
    EXPECT_EQ(sender, BCNApp::classObject());
    // The eager components of the default app exist once configuration returns.
    EXPECT_EQ(created().serviceA, 1);
    EXPECT_EQ(created().defaultOnly, 1);
    EXPECT_EQ(created().lazy, 0);
    EXPECT_EQ(created().sessions, 1);  // the sessions library was found by its class name
    EXPECT_TRUE(app->heartbeatLogger());

    BCNOptions handedOut = app->options();
    EXPECT_TRUE(handedOut.isEditingLocked());
    EXPECT_THROW(handedOut.setAPIKey("changed"), Exception);
}

TEST_F(BCNAppTest, ANamedAppCreatesOnlyTheAlwaysEagerComponents) {
    BCNApp::configureWithName(std::string("second-app_2"), options());
    const auto app = BCNApp::appNamed("second-app_2");
    ASSERT_TRUE(app);
    EXPECT_FALSE(app->isDefaultApp());
    EXPECT_EQ(created().serviceA, 1);
    EXPECT_EQ(created().defaultOnly, 0);
    EXPECT_FALSE(BCNApp::defaultApp());
    EXPECT_TRUE(logged("[I-COR000003] The default Beacon app has not yet been configured."));
}

TEST_F(BCNAppTest, EveryConfigurationFailureRaisesItsText) {
    BCNApp::configureWithOptions(options());
    BCNApp::configureWithName(std::string("named"), options());
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[] { BCNApp::configure(); },
         "`BeaconApp.configure()` could not find a valid BeaconService-Info.plist in your "
         "project. Please download one from https://beacon.pexmora.com/console."},
        {[] { BCNApp::configureWithOptions(std::nullopt); },
         "Options is nil. Please pass a valid options."},
        {[] { BCNApp::configureWithName(std::nullopt, options()); },
         "Neither name nor options can be nil."},
        {[] { BCNApp::configureWithName(std::string("x"), std::nullopt); },
         "Neither name nor options can be nil."},
        {[] { BCNApp::configureWithName(std::string(""), options()); }, "Name cannot be empty."},
        {[] { BCNApp::configureWithName(std::string("a.b"), options()); },
         "App name can only contain alphanumeric, hyphen (-), and underscore (_) characters"},
        {[] { BCNApp::configureWithName(std::string("a b"), options()); },
         "App name can only contain alphanumeric, hyphen (-), and underscore (_) characters"},
        {[] { BCNApp::configureWithOptions(options()); },
         "Default app has already been configured."},
        {[] { BCNApp::configureWithName(std::string("named"), options()); },
         "App named named has already been configured."},
        {[] { BCNApp::configureWithName(std::string("bad-id"), options("1:123:linux:0a")); },
         "Configuration fails. It may be caused by an invalid BEACON_APP_ID in "
         "BeaconService-Info.plist or set in the customized options."},
    };
    for (const auto& [configure, reason] : cases) EXPECT_EQ(failureOf(configure), reason);
    EXPECT_TRUE(
        logged("[I-COR000009] The BEACON_APP_ID either in the plist file "
               "'BeaconService-Info.plist' or the one set in the customized options is "
               "invalid."));
    EXPECT_EQ(BCNApp::allApps()->size(), 2u);
}

TEST_F(BCNAppTest, AFailedConfigurationLeavesNoDefaultAppBehind) {
    EXPECT_FALSE(failureOf([] { BCNApp::configureWithOptions(options("not an id")); }).empty());
    EXPECT_FALSE(BCNApp::isDefaultAppConfigured());
    EXPECT_FALSE(BCNApp::defaultApp());
    // A corrected configuration is not refused as "already configured".
    EXPECT_EQ(failureOf([] { BCNApp::configureWithOptions(options()); }), "");
    EXPECT_TRUE(BCNApp::defaultApp());
}

TEST_F(BCNAppTest, ConcurrentConfiguresMakeExactlyOneDefaultApp) {
    constexpr int kThreads = 8;
    std::atomic<int> succeeded{0}, refused{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            const std::string reason = failureOf([] { BCNApp::configureWithOptions(options()); });
            if (reason.empty()) ++succeeded;
            if (reason == "Default app has already been configured.") ++refused;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(succeeded, 1);
    EXPECT_EQ(refused, kThreads - 1);
    EXPECT_EQ(created().serviceA, 1);
}

TEST_F(BCNAppTest, AppIDValidation) {
    BCNLogSetLevel(BCNLoggerLevelInfo);  // the unknown-version line is an info line
    const std::pair<const char*, bool> cases[] = {
        {"1:123:ios:0a1b2c", true},
        {"1:123:ios:abc", true},
        {"1:123:macos:0a1b2c", false},
        {"1:123:ios:xyz", false},
        {"1:123:ios:0a1b:extra", false},
        {"", false},
        {"1", false},
        {":123:ios:0a", false},
        {"1:abc:ios:0a", false},
        {"2:anything at all", true},
    };
    for (const auto& [appID, valid] : cases)
        EXPECT_EQ(BCNApp::validateAppID(appID), valid) << appID;
    EXPECT_TRUE(logged("[I-COR000010] Unknown BEACON_APP_ID version: 2"));
}

TEST_F(BCNAppTest, ABundleIdMismatchIsLoggedOnly) {
    BCNOptions other = options();
    other.setBundleID("com.someone.else");
    BCNApp::configureWithOptions(other);
    EXPECT_TRUE(BCNApp::defaultApp());
    EXPECT_TRUE(logged("[I-COR000008] The project's Bundle ID is inconsistent"));
}

TEST_F(BCNAppTest, DataCollectionSwitchPrecedence) {
    BCNApp::configureWithOptions(options());
    const auto app = BCNApp::defaultApp();
    const std::string key = "/beacon/global_data_collection_enabled:__BCNAPP_DEFAULT";
    EXPECT_TRUE(app->isDataCollectionDefaultEnabled());  // nothing set: on

    useInfo({{"BeaconDataCollectionDefaultEnabled", PropertyList("NO")}});
    EXPECT_TRUE(app->isDataCollectionDefaultEnabled());  // not a number: ignored
    useInfo({{"BeaconDataCollectionDefaultEnabled", PropertyList(false)}});
    EXPECT_FALSE(app->isDataCollectionDefaultEnabled());
    UserDefaults::standard().set(key, true);  // the settings value wins
    EXPECT_TRUE(app->isDataCollectionDefaultEnabled());

    bool analytics = true;
    ScopedObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(
            "BCNAnalyticsConfigurationSetEnabledNotification", nullptr,
            [&](const Notification& n) { analytics = n.userInfo[n.name].get<bool>(); }));
    app->setDataCollectionDefaultEnabled(false);
    EXPECT_EQ(UserDefaults::standard().object(key), nlohmann::json(false));
    EXPECT_FALSE(analytics);  // not set explicitly in the options: analytics follows
    EXPECT_FALSE(app->options().isMeasurementEnabled());  // asks the default app's switch
}

TEST_F(BCNAppTest, BecomingActiveLogsAHeartbeatOnlyWhileCollectionIsOn) {
    BCNApp::configureWithOptions(options());
    const auto app = BCNApp::defaultApp();
    app->setDataCollectionDefaultEnabled(false);
    NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
    EXPECT_EQ(app->heartbeatLogger()->heartbeatCodeForToday(), BCNHeartbeatInfoCode::None);

    app->setDataCollectionDefaultEnabled(true);
    NotificationCenter::defaultCenter().post(kApplicationDidBecomeActiveNotification);
    EXPECT_EQ(app->heartbeatLogger()->heartbeatCodeForToday(), BCNHeartbeatInfoCode::Combined);
}

TEST_F(BCNAppTest, LibraryRegistration) {
    BCNApp::registerLibrary("my lib", "1.0");
    EXPECT_TRUE(
        logged("[I-COR000027] The library name (my lib) or version number (1.0) contain "
               "invalid characters."));
    EXPECT_EQ(BCNApp::beaconUserAgent().find("my lib"), std::string::npos);
    BCNApp::registerLibrary("good-lib_1.x", "1.0");
    BCNApp::registerLibrary("good-lib_1.x", "1.1");
    EXPECT_NE(BCNApp::beaconUserAgent().find("good-lib_1.x/1.1"), std::string::npos);
    EXPECT_EQ(BCNApp::beaconUserAgent().find("good-lib_1.x/1.0"), std::string::npos);

    try {
        BCNApp::registerInternalLibrary({"NotALibrary", nullptr, nullptr}, "nope");
        ADD_FAILURE() << "a class without components registered";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), Exception::kInvalidArgument);
        EXPECT_EQ(e.reason(),
                  "Class NotALibrary attempted to register components, but it does not conform "
                  "to `BCNLibrary or provide a `componentsToRegister:` method.");
    }
    BCNApp::resetApps();  // library entries go, the environment stays
    EXPECT_EQ(BCNApp::beaconUserAgent().find("good-lib"), std::string::npos);
    EXPECT_NE(BCNApp::beaconUserAgent().find("os-version/"), std::string::npos);
}

TEST_F(BCNAppTest, DeletingAnApp) {
    BCNApp::configureWithOptions(options());
    const auto app = BCNApp::defaultApp();
    nlohmann::json deleted;
    ScopedObserver observer(NotificationCenter::defaultCenter(),
                            NotificationCenter::defaultCenter().addObserver(
                                BCNApp::kDeleteNotification, nullptr,
                                [&](const Notification& n) { deleted = n.userInfo; }));
    std::optional<bool> result;
    app->deleteApp([&](bool ok) { result = ok; });
    EXPECT_EQ(result, true);
    EXPECT_EQ(deleted, (nlohmann::json{{"BCNAppNameKey", "__BCNAPP_DEFAULT"}}));
    EXPECT_FALSE(BCNApp::isDefaultAppConfigured());
    app->deleteApp([&](bool ok) { result = ok; });
    EXPECT_EQ(result, false);
    EXPECT_TRUE(logged("[I-COR000007] App does not exist."));
}

}  // namespace
}  // namespace pex
