#include "BeaconTransport/TXPLibrary/TXPMetricsController.h"

#include <future>

#include <gtest/gtest.h>

#include "TXPStorageTestSupport.h"
#include "TXPTestEvents.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using namespace std::chrono_literals;

TXPEventSet events(std::initializer_list<const char*> mappingIDs) {
    TXPEventSet set;
    for (const char* id : mappingIDs) TXPEventSetAdd(set, test::makeEvent(id, 1002));
    return set;
}

class TXPMetricsTest : public ::testing::Test {
  protected:
    std::shared_ptr<const TXPMetrics> take() {
        std::promise<std::shared_ptr<const TXPMetrics>> taken;
        controller->getAndResetMetrics([&](auto metrics) { taken.set_value(metrics); });
        return taken.get_future().get();
    }
    void wait(std::function<void(TXPMetricsController::Done)> call) {
        std::promise<void> done;
        call([&](ErrorRef) { done.set_value(); });
        done.get_future().get();
    }

    test::TempDir dir;
    std::shared_ptr<TXPFlatFileStorage> storage = TXPFlatFileStorage::make(dir.path());
    std::shared_ptr<TXPMetricsController> controller =
        std::make_shared<TXPMetricsController>(storage);
};

TEST_F(TXPMetricsTest, ExpiredEventsAreCountedPerSourceAndReason) {
    EXPECT_FALSE(take());  // nothing stored yet: no metrics, but a window starts
    controller->storageDidRemoveExpiredEvents(*storage, events({"1206", "1206", "1206", "1974"}));
    controller->storageDidDropEvent(*storage, test::makeEvent("1974", 1001));
    wait([&](auto done) { controller->logEventsDroppedForReason(5, {}, done); });
    auto metrics = take();
    ASSERT_TRUE(metrics);
    TXPLogSourceMetrics::Counts expected = {{"1206", {{1, 3}}}, {"1974", {{1, 1}, {2, 1}}}};
    EXPECT_EQ(metrics->logSourceMetrics.droppedEventCounterByLogSource(), expected);
    EXPECT_EQ(metrics->maxCacheSize, 20'000'000u);
    auto again = take();  // taken counts are gone
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->logSourceMetrics.droppedEventCounterByLogSource().empty());
}

TEST_F(TXPMetricsTest, OfferedBackMetricsJoinTheWindowUnlessTheyStartedLater) {
    EXPECT_FALSE(take());
    wait([&](auto done) { controller->logEventsDroppedForReason(1, events({"1206"}), done); });
    auto taken = take();
    ASSERT_TRUE(taken);
    wait([&](auto done) { controller->offerMetrics(taken, done); });
    auto back = take();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->logSourceMetrics.droppedEventCounterByLogSource(),
              (TXPLogSourceMetrics::Counts{{"1206", {{1, 1}}}}));
    EXPECT_LE(TXPSecondsSince1970(back->collectionStartDate),
              TXPSecondsSince1970(taken->collectionStartDate) + 1);

    auto later = std::make_shared<const TXPMetrics>(
        TXPDateNow() + 1h, TXPDateNow() + 2h, TXPLogSourceMetrics({{"1974", {{1, 9}}}}), 0, 0, "");
    wait([&](auto done) { controller->offerMetrics(later, done); });
    auto unchanged = take();
    ASSERT_TRUE(unchanged);
    EXPECT_TRUE(unchanged->logSourceMetrics.droppedEventCounterByLogSource().empty());
}

TEST(TXPMetricsEncodingTest, WholeSecondsAndValidReasonsOnly) {
    TXPMetrics metrics(TXPDateFromSecondsSince1970(12.9), TXPDateFromSecondsSince1970(20.2),
                       TXPLogSourceMetrics({{"1206", {{7, 2}}}}), 10, 20'000'000, "app");
    std::string bytes = metrics.transportBytes();
    // window {from 12000, to 20000}
    EXPECT_EQ(bytes.substr(0, 9), std::string("\x0A\x07\x08\xE0\x5D\x10\xA0\x9C\x01", 9));
    // per_source {source_id "1206", dropped {count 2}} with no reason (7 is sent as 0)
    EXPECT_NE(bytes.find(std::string("\x12\x0A\x0A\x04"
                                     "1206"
                                     "\x12\x02\x08\x02",
                                     12)),
              std::string::npos);
    EXPECT_NE(bytes.find(std::string("\x22\x03"
                                     "app",
                                     5)),
              std::string::npos);
    TXPMetrics empty(TXPDateFromSecondsSince1970(0), TXPDateFromSecondsSince1970(0), {}, 0, 0, "");
    EXPECT_TRUE(empty.transportBytes().empty());  // nothing but zeros and empties
    TXPEvent event =
        TXPMetrics::eventWithMetrics(std::make_shared<const TXPMetrics>(metrics), 1001);
    EXPECT_EQ(event.mappingID(), "1710");
    EXPECT_EQ(event.serializedDataObjectBytes(), bytes);
}

}  // namespace
}  // namespace pex
