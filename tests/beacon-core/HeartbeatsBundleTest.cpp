#include "beacon-core/HeartbeatsBundle.h"

#include <gtest/gtest.h>

#include "beacon-core/HeartbeatsPayload.h"

namespace pex {
namespace {

constexpr HeartbeatDate kDay = 86400;

Heartbeat heartbeat(const std::string& agent, HeartbeatDate date) {
    return {agent, date, 0, {TimePeriod::daily}};
}

TEST(RingBufferTest, PushOverwritesTheOldestAndPopStepsBack) {
    RingBuffer<int> ring(3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(std::get<std::optional<int>>(ring.push(i)), std::nullopt);
    EXPECT_EQ(ring.tailIndex(), 0);
    EXPECT_EQ(std::get<std::optional<int>>(ring.push(4)), 1);  // slot 0, the oldest
    EXPECT_EQ(ring.tailIndex(), 1);
    EXPECT_EQ(ring.elements(), (std::vector<int>{4, 2, 3}));  // slot order, not age
    EXPECT_EQ(ring.pop(), 4);
    EXPECT_EQ(ring.pop(), 3);
    EXPECT_EQ(ring.tailIndex(), 2);

    RingBuffer<int> none(0);
    EXPECT_EQ(std::get<std::optional<int>>(none.push(1)), std::nullopt);
    EXPECT_EQ(none.pop(), std::nullopt);
    EXPECT_TRUE(none.elements().empty());

    RingBuffer<int> empty(2);
    EXPECT_EQ(empty.pop(), std::nullopt);
    EXPECT_EQ(empty.tailIndex(), 1);  // the step back stays
}

TEST(RingBufferTest, AnOutOfRangeTailFailsThePush) {
    for (std::int64_t tail : {3, -1}) {
        RingBuffer<int> ring({1, 2, 3}, tail);
        const auto result = ring.push(9);
        ASSERT_TRUE(std::holds_alternative<RingBufferOutOfBoundsPush>(result));
        const auto failure = std::get<RingBufferOutOfBoundsPush>(result);
        EXPECT_EQ(failure.pushIndex, tail);
        EXPECT_EQ(failure.endIndex, 3);
        EXPECT_EQ(ring.elements(), (std::vector<int>{1, 2, 3}));
    }
}

TEST(HeartbeatsBundleTest, TheThirtyFirstHeartbeatOverwritesTheOldest) {
    HeartbeatsBundle bundle(30);
    EXPECT_EQ(bundle.lastAddedHeartbeatDates().at(TimePeriod::daily), kHeartbeatDistantPast);
    for (int day = 0; day < 31; ++day) bundle.append(heartbeat("a", day * kDay));
    EXPECT_EQ(bundle.buffer().tailIndex(), 1);
    EXPECT_EQ(bundle.buffer().circularQueue()[0]->date, 30 * kDay);
    EXPECT_EQ(bundle.buffer().elements().size(), 30u);
    EXPECT_EQ(bundle.lastAddedHeartbeatDates().at(TimePeriod::daily), 30 * kDay);
}

TEST(HeartbeatsBundleTest, AZeroSlotRingStillRecordsTheDate) {
    HeartbeatsBundle bundle(1, {{TimePeriod::daily, kHeartbeatDistantPast}},
                            RingBuffer<Heartbeat>(0));
    bundle.append(heartbeat("a", kDay));
    EXPECT_TRUE(bundle.buffer().elements().empty());
    EXPECT_EQ(bundle.lastAddedHeartbeatDates().at(TimePeriod::daily), kDay);

    HeartbeatsBundle noCapacity(0);
    noCapacity.append(heartbeat("a", kDay));
    EXPECT_EQ(noCapacity.lastAddedHeartbeatDates().at(TimePeriod::daily), kHeartbeatDistantPast);
}

TEST(HeartbeatsBundleTest, AStoredTailOutOfRangeResetsWithADiagnosticHeartbeat) {
    for (std::int64_t tail : {30, -1}) {
        std::vector<std::optional<Heartbeat>> slotList(30, heartbeat("old", 0));
        HeartbeatsBundle bundle(30, {{TimePeriod::daily, 0}},
                                RingBuffer<Heartbeat>(std::move(slotList), tail));
        bundle.append(heartbeat("my agent", 5 * kDay));
        const auto stored = bundle.buffer().elements();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].agent, "my agent error/Out-of-bounds-push-at-index-" +
                                       std::to_string(tail) +
                                       "-to-ring-buffer-withend-index-of-30.");
        EXPECT_EQ(bundle.buffer().circularQueue()[0]->date, 5 * kDay);
        EXPECT_EQ(bundle.buffer().tailIndex(), 1);
        EXPECT_EQ(bundle.lastAddedHeartbeatDates().at(TimePeriod::daily), 5 * kDay);
    }
}

TEST(HeartbeatsBundleTest, TakeHeartbeatRemovesOneDayAndKeepsTheOthersInOrder) {
    HeartbeatsBundle bundle(30);
    for (int day = 1; day <= 3; ++day)
        bundle.append(heartbeat("a" + std::to_string(day), day * kDay));
    EXPECT_FALSE(bundle.takeHeartbeat(9 * kDay));
    EXPECT_EQ(bundle.buffer().elements().size(), 3u);

    const auto taken = bundle.takeHeartbeat(2 * kDay);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->agent, "a2");
    // The first search emptied the ring and pushed everything back from the slot before the
    // old tail (29, 0, 1), so a3 now lands in slot 0, ahead of a1 in slot order.
    const auto kept = bundle.buffer().elements();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].agent, "a3");
    EXPECT_EQ(kept[1].agent, "a1");
    EXPECT_EQ(bundle.buffer().circularQueue()[29]->agent, "a1");
    EXPECT_EQ(bundle.lastAddedHeartbeatDates().at(TimePeriod::daily), 3 * kDay);
}

TEST(HeartbeatsBundleTest, StoredJsonFormRoundTripsAndRejectsUnknownPeriods) {
    HeartbeatsBundle bundle(3);
    bundle.append(heartbeat("agent/1", 10 * kDay));
    const nlohmann::json json = bundle.toJson();
    EXPECT_EQ(json["capacity"], 3);
    EXPECT_EQ(json["lastAddedHeartbeatDates"], nlohmann::json::parse("[1, 864000.0]"));
    EXPECT_EQ(json["buffer"]["tailIndex"], 1);
    EXPECT_EQ(json["buffer"]["circularQueue"][1], nullptr);
    EXPECT_EQ(json["buffer"]["circularQueue"][0],
              nlohmann::json::parse(
                  R"({"agent":"agent/1","date":864000.0,"version":0,"timePeriods":[1]})"));
    const auto back = HeartbeatsBundle::fromJson(json);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toJson(), json);
    EXPECT_EQ(HeartbeatsBundle(30).toJson()["lastAddedHeartbeatDates"],
              nlohmann::json::parse("[1, -63114076800.0]"));

    auto badPeriod = json;
    badPeriod["lastAddedHeartbeatDates"][0] = 2;
    auto missingKey = json;
    missingKey["buffer"]["circularQueue"][0].erase("version");
    auto wrongType = json;
    wrongType["capacity"] = "3";
    for (const auto& bad : {badPeriod, missingKey, wrongType, nlohmann::json::array()})
        EXPECT_FALSE(HeartbeatsBundle::fromJson(bad)) << bad.dump();
}

TEST(HeartbeatsBundleTest, PayloadMergesByAgentInSlotOrderAndSortsAgents) {
    HeartbeatsBundle bundle(30);
    bundle.append(heartbeat("b", 1 * kDay));
    bundle.append(heartbeat("a", 2 * kDay));
    bundle.append(heartbeat("b", 3 * kDay));
    bundle.append(heartbeat("b", 3 * kDay));  // the same day twice stays twice
    const HeartbeatsPayload payload = bundle.makePayload();
    EXPECT_EQ(payload.version(), 2);
    ASSERT_EQ(payload.userAgentPayloads().size(), 2u);
    EXPECT_EQ(payload.userAgentPayloads()[0],
              (HeartbeatsPayload::UserAgentPayload{"a", {2 * kDay}}));
    EXPECT_EQ(payload.userAgentPayloads()[1],
              (HeartbeatsPayload::UserAgentPayload{"b", {1 * kDay, 3 * kDay, 3 * kDay}}));
    EXPECT_TRUE(HeartbeatsBundle(30).makePayload().isEmpty());
}

}  // namespace
}  // namespace pex
