#include "crashreporter/CRSDataCollectionArbiter.h"

#include <optional>

#include <gtest/gtest.h>

#include "beacon-core/BCNApp.h"
#include "crashreporter/CRSUserDefaults.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class CRSDataCollectionArbiterTest : public test::IsolatedTest {
  protected:
    std::shared_ptr<BCNApp> appWithDefault(bool enabled) {
        auto app = std::make_shared<BCNApp>("arbiter", BCNOptions("1:2:linux:3", "2"));
        app->setDataCollectionDefaultEnabled(enabled);
        return app;
    }

    CRSUserDefaults store_{root() / "crash-store"};
};

TEST_F(CRSDataCollectionArbiterTest, TheRememberedChoiceThenTheInfoListThenTheSdkDefaultDecide) {
    struct Case {
        std::int64_t sticky;  // 0: nothing remembered
        std::optional<nlohmann::json> plist;
        bool sdkDefault;
        bool expected;
    };
    const Case cases[] = {
        {2, true, true, false},   // the remembered choice wins over the info list
        {1, false, false, true},  //
        {7, true, true, false},   // any value other than 1 means disabled
        {0, "NO", true, false},   // the info list's text wins over the SDK default
        {0, "YES", false, true},  //
        {0, "1", false, true},    //
        {0, 0, true, false},      // a number
        {0, 1, false, true},      //
        {0, false, true, false},  // a Boolean
        {0, std::nullopt, true, true},
        {0, std::nullopt, false, false},
        {0, nlohmann::json::array({true}), false, false},  // neither text nor number: ignored
    };
    for (const Case& c : cases) {
        if (c.sticky == 0) {
            store_.removeObjectForKey(kCRSDataCollectionStickyKey);
        } else {
            store_.setInteger(c.sticky, kCRSDataCollectionStickyKey);
        }
        nlohmann::json info = nlohmann::json::object();
        if (c.plist) info[kCRSCollectionEnabledPlistKey] = *c.plist;
        const CRSDataCollectionArbiter arbiter(appWithDefault(c.sdkDefault), info, store_);
        EXPECT_EQ(arbiter.isCrashReporterCollectionEnabled(), c.expected)
            << "sticky " << c.sticky << " plist " << (c.plist ? c.plist->dump() : "none")
            << " default " << c.sdkDefault;
        EXPECT_EQ(arbiter.waitForCrashReporterCollectionEnabled()->isFulfilled(), c.expected);
    }
    // Without an application the SDK default reads as on.
    store_.removeObjectForKey(kCRSDataCollectionStickyKey);
    EXPECT_TRUE(CRSDataCollectionArbiter(nullptr, nlohmann::json::object(), store_)
                    .isCrashReporterCollectionEnabled());
}

TEST_F(CRSDataCollectionArbiterTest, SwitchingRemembersTheChoiceAndMovesThePromise) {
    CRSDataCollectionArbiter arbiter(appWithDefault(false), nlohmann::json::object(), store_);
    const PRMPromiseRef waiting = arbiter.waitForCrashReporterCollectionEnabled();
    EXPECT_TRUE(waiting->isPending());

    arbiter.setCrashReporterCollectionEnabled(true);
    EXPECT_TRUE(waiting->isFulfilled());
    EXPECT_EQ(arbiter.waitForCrashReporterCollectionEnabled(), waiting);
    EXPECT_TRUE(arbiter.isCrashReporterCollectionEnabled());
    // Enabling again fulfils nothing more: the same fulfilled promise.
    arbiter.setCrashReporterCollectionEnabled(true);
    EXPECT_EQ(arbiter.waitForCrashReporterCollectionEnabled(), waiting);

    // The choice is on disk: a new store over the same folder reads it.
    EXPECT_EQ(CRSDataCollectionArbiter::stickySetting(store_), 1);
    CRSUserDefaults reread(root() / "crash-store");
    EXPECT_EQ(CRSDataCollectionArbiter::stickySetting(reread), 1);

    // Switching off gives later waiters a new pending promise; the earlier one stays fulfilled.
    arbiter.setCrashReporterCollectionEnabled(false);
    const PRMPromiseRef later = arbiter.waitForCrashReporterCollectionEnabled();
    EXPECT_NE(later, waiting);
    EXPECT_TRUE(later->isPending());
    EXPECT_TRUE(waiting->isFulfilled());
    EXPECT_EQ(CRSDataCollectionArbiter::stickySetting(CRSUserDefaults(root() / "crash-store")), 2);
    arbiter.setCrashReporterCollectionEnabled(false);
    EXPECT_EQ(arbiter.waitForCrashReporterCollectionEnabled(), later);

    arbiter.setCrashReporterCollectionEnabled(true);
    EXPECT_TRUE(later->isFulfilled());
}

TEST_F(CRSDataCollectionArbiterTest, FindsTheLegacyKeyWhateverItsValue) {
    for (const nlohmann::json& value :
         {nlohmann::json(true), nlohmann::json(false), nlohmann::json("anything")}) {
        const CRSDataCollectionArbiter arbiter(
            nullptr, {{kCRSLegacyCollectionEnabledPlistKey, value}}, store_);
        EXPECT_TRUE(arbiter.isLegacyDataCollectionKeyInPlist());
    }
    EXPECT_FALSE(CRSDataCollectionArbiter(nullptr, {{kCRSCollectionEnabledPlistKey, true}}, store_)
                     .isLegacyDataCollectionKeyInPlist());
}

}  // namespace
}  // namespace pex
