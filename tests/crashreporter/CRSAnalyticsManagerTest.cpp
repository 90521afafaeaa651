#include "crashreporter/CRSAnalyticsManager.h"

#include <gtest/gtest.h>

#include "CrashReporterFixture.h"

namespace pex {
namespace {

class RecordingAnalytics : public BCNAnalyticsInterop {
  public:
    void registerAnalyticsListener(std::weak_ptr<BCNAnalyticsInteropListener> listener,
                                   const std::string& origin) override {
        listeners.emplace_back(std::move(listener), origin);
    }
    void logEventWithOrigin(const std::string& origin, const std::string& name,
                            const PropertyList::Dictionary& parameters) override {
        events.push_back({origin, name, parameters});
    }
    struct Event {
        std::string origin, name;
        PropertyList::Dictionary parameters;
    };
    std::vector<std::pair<std::weak_ptr<BCNAnalyticsInteropListener>, std::string>> listeners;
    std::vector<Event> events;
};

using CRSAnalyticsManagerTest = test::CrashReporterTest;

TEST_F(CRSAnalyticsManagerTest, ACrashReachesAnalyticsInRoundedMilliseconds) {
    auto analytics = std::make_shared<RecordingAnalytics>();
    CRSAnalyticsManager::logCrashWithTimeStamp(1.2346, analytics);
    CRSAnalyticsManager::logCrashWithTimeStamp(1.2344, analytics);
    CRSAnalyticsManager::logCrashWithTimeStamp(1.2346, nullptr);  // nobody to tell
    ASSERT_EQ(analytics->events.size(), 2u);
    EXPECT_EQ(analytics->events[0].origin, "clx");
    EXPECT_EQ(analytics->events[0].name, "_ae");
    EXPECT_EQ(analytics->events[0].parameters,
              (PropertyList::Dictionary{{"timestamp", PropertyList(std::int64_t{1235})},
                                        {"fatal", PropertyList(std::int64_t{1})}}));
    EXPECT_EQ(analytics->events[1].parameters.at("timestamp"), PropertyList(std::int64_t{1234}));
}

TEST_F(CRSAnalyticsManagerTest, RegistersOnceAndOnlyWithAnAnalyticsComponent) {
    auto alone = std::make_shared<CRSAnalyticsManager>(nullptr);
    alone->registerAnalyticsListener();
    EXPECT_FALSE(alone->registeredAnalyticsEventListener());
    EXPECT_TRUE(logged("Beacon Analytics SDK not detected"));

    auto analytics = std::make_shared<RecordingAnalytics>();
    auto manager = std::make_shared<CRSAnalyticsManager>(analytics);
    manager->registerAnalyticsListener();
    manager->registerAnalyticsListener();
    ASSERT_EQ(analytics->listeners.size(), 1u);
    EXPECT_EQ(analytics->listeners[0].first.lock(), manager);
    EXPECT_EQ(analytics->listeners[0].second, "clx");
    EXPECT_TRUE(manager->registeredAnalyticsEventListener());
}

TEST_F(CRSAnalyticsManagerTest, EventsBecomeBreadcrumbsUnlessTheyHaveNoJsonForm) {
    EXPECT_EQ(
        CRSAnalyticsManager::eventDictionaryToJSON(
            "screen_view", {{"screen", PropertyList("home")},
                            {"tags", PropertyList::Array{PropertyList(1), PropertyList(true)}}}),
        R"({"name":"screen_view","parameters":{"screen":"home","tags":[1,true]}})");
    // A date, data or a number JSON cannot hold has no JSON form.
    for (const PropertyList& value :
         {PropertyList(PropertyList::Date{1.0}), PropertyList(PropertyList::Data{1, 2}),
          PropertyList(std::nan("")),
          PropertyList(PropertyList::Dictionary{{"when", PropertyList(PropertyList::Date{})}})}) {
        EXPECT_EQ(CRSAnalyticsManager::eventDictionaryToJSON("e", {{"value", value}}), std::nullopt)
            << value.description();
    }

    // Before the crash context exists the breadcrumb goes to the ordinary log.
    CRSAnalyticsManager manager(nullptr);
    manager.messageTriggered("purchase", {{"minutes", PropertyList(30)}});
    manager.messageTriggered("dated", {{"at", PropertyList(PropertyList::Date{})}});
    EXPECT_TRUE(logged(R"($A$:{"name":"purchase","parameters":{"minutes":30}})"));
    EXPECT_FALSE(logged("dated"));
}

}  // namespace
}  // namespace pex
