#include "beacon-core/BCNAnalyticsConfiguration.h"

#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "beacon-core/BCNConfiguration.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

constexpr const char* kStateKey = "/beacon/measurement/measurement_enabled_state";
constexpr const char* kNotification = "BCNAnalyticsConfigurationSetEnabledNotification";

class BCNAnalyticsConfigurationTest : public test::IsolatedTest {
  protected:
    BCNAnalyticsConfigurationTest()
        : observer_(NotificationCenter::defaultCenter(),
                    NotificationCenter::defaultCenter().addObserver(
                        kNotification, nullptr,
                        [this](const Notification& n) { posted_.push_back(n); })) {}
    ~BCNAnalyticsConfigurationTest() override {
        BCNConfiguration::shared().setAnalyticsConfiguration(
            BCNAnalyticsConfiguration::sharedInstance());
    }

    std::vector<Notification> posted_;
    ScopedObserver observer_;
};

TEST_F(BCNAnalyticsConfigurationTest, TheConfigurationHoldsTheSharedSwitchUntilAnotherIsSet) {
    BCNAnalyticsConfiguration& shared = BCNAnalyticsConfiguration::sharedInstance();
    EXPECT_EQ(&BCNAnalyticsConfiguration::sharedInstance(), &shared);  // made once
    EXPECT_EQ(&BCNConfiguration::shared(), &BCNConfiguration::shared());
    EXPECT_EQ(&BCNConfiguration::shared().analyticsConfiguration(), &shared);

    BCNAnalyticsConfiguration other;
    BCNConfiguration::shared().setAnalyticsConfiguration(other);
    EXPECT_EQ(&BCNConfiguration::shared().analyticsConfiguration(), &other);
}

TEST_F(BCNAnalyticsConfigurationTest, TheSwitchIsStoredOnlyWhenPersistedAndAnnouncedEachTime) {
    BCNAnalyticsConfiguration& configuration = BCNAnalyticsConfiguration::sharedInstance();
    const struct {
        bool enabled;
        bool persist;
        std::optional<int> stored;  // what the settings hold afterwards
    } steps[] = {
        {false, true, 2},
        {true, true, 1},
        {false, false, 1},  // not persisted: the stored value stays
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.enabled) + "/" + std::to_string(step.persist));
        posted_.clear();
        configuration.setAnalyticsCollectionEnabled(step.enabled, step.persist);
        EXPECT_EQ(UserDefaults::standard().integer(kStateKey), step.stored);
        ASSERT_EQ(posted_.size(), 1u);
        EXPECT_EQ(posted_[0].sender, &configuration);
        EXPECT_EQ(posted_[0].userInfo, (nlohmann::json{{kNotification, step.enabled}}));
    }
}

TEST_F(BCNAnalyticsConfigurationTest, PostsOnlyANamedNotificationWithAValue) {
    BCNAnalyticsConfiguration& configuration = BCNAnalyticsConfiguration::sharedInstance();
    std::vector<Notification> unnamed;
    ScopedObserver any(NotificationCenter::defaultCenter(),
                       NotificationCenter::defaultCenter().addObserver(
                           "", nullptr, [&](const Notification& n) { unnamed.push_back(n); }));
    configuration.postNotificationName("", true);
    configuration.postNotificationName(kNotification, nullptr);
    EXPECT_TRUE(posted_.empty());
    EXPECT_TRUE(unnamed.empty());
    configuration.postNotificationName(kNotification, 1);
    ASSERT_EQ(posted_.size(), 1u);
    EXPECT_EQ(posted_[0].userInfo, (nlohmann::json{{kNotification, 1}}));
}

}  // namespace
}  // namespace pex
