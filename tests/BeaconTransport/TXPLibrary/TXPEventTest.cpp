#include "BeaconTransport/TXPLibrary/TXPEvent.h"

#include <set>

#include <gtest/gtest.h>

#include "TXPLogCapture.h"
#include "TXPTestEvents.h"
#include "platform/foundation/KeyedArchive.h"

namespace pex {
namespace {

using namespace std::chrono_literals;

TEST(TXPEventTest, IdsAre32UpperHexDigitsWithoutHyphens) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string id = TXPEvent::nextEventID();
        ASSERT_EQ(id.size(), 32u) << id;
        EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(TXPEventTest, ANewEventHasTheStandardTierAndExpiresInSevenDays) {
    auto before = TXPDateNow();
    auto event = TXPEvent::make("1206", 1002, TXPProductData(42));
    ASSERT_TRUE(event);
    EXPECT_EQ(event->mappingID(), "1206");
    EXPECT_EQ(event->target(), 1002);
    EXPECT_EQ(event->qosTier(), TXPEventTierStandard);
    EXPECT_EQ(event->productData(), TXPProductData(42));
    EXPECT_FALSE(event->clockSnapshot());
    EXPECT_GE(event->expirationDate(), before + 604800s);
    EXPECT_LE(event->expirationDate(), TXPDateNow() + 604800s);
}

TEST(TXPEventTest, ABadMappingIdOrTargetMakesNoEventAfterAnAssertion) {
    struct Case {
        std::string mappingID;
        std::int64_t target;
        const char* message;
    };
    const Case cases[] = {{"", 1001, "Please give a valid mapping ID"},
                          {"1974", 0, "A target cannot be negative or 0"},
                          {"1974", -3, "A target cannot be negative or 0"}};
    for (const Case& c : cases) {
        test::TXPLogCapture capture;
        EXPECT_FALSE(TXPEvent::make(c.mappingID, c.target)) << c.message;
        EXPECT_TRUE(capture.contains(c.message)) << c.message;
    }
}

TEST(TXPEventTest, ACopyKeepsIdTierAndPayloadWithAFreshExpiry) {
    TXPEvent event = test::makeEvent("1974", 1001, "abc", TXPEventTierImmediate);
    event.setCustomBytes(std::string("{\"a\":1}"));
    event.setExpirationDate(TXPDateNow() - 1h);
    TXPEvent copy = event.copy();
    EXPECT_EQ(copy.eventID(), event.eventID());
    EXPECT_EQ(copy.qosTier(), TXPEventTierImmediate);
    EXPECT_EQ(copy.serializedDataObjectBytes(), std::string("abc"));
    EXPECT_EQ(copy.clockSnapshot(), event.clockSnapshot());
    EXPECT_EQ(copy.customBytes(), event.customBytes());
    EXPECT_GT(copy.expirationDate(), TXPDateNow() + 604000s);
    EXPECT_EQ(copy, event);  // expiry is not part of identity
}

TEST(TXPEventTest, SettingTheDataObjectTakesItsBytesEveryTime) {
    TXPEvent event = *TXPEvent::make("1974", 1001);
    EXPECT_FALSE(event.serializedDataObjectBytes());
    event.setDataObject(std::make_shared<test::BytesDataObject>(""));
    EXPECT_EQ(event.serializedDataObjectBytes(), std::string());
    event.setDataObject(nullptr);
    EXPECT_FALSE(event.serializedDataObjectBytes());
}

TEST(TXPEventTest, EventsAreEqualFieldByFieldNotByHash) {
    TXPEvent event = test::makeEvent("1974", 1001, "x", 3);
    TXPEvent other = test::makeEvent("1974", 1001, "x", 3);
    other.setEventID(event.eventID());
    other.setClockSnapshot(event.clockSnapshot());
    other.setExpirationDate(event.expirationDate() + 5s);
    EXPECT_EQ(event, other);
    // Tier and target swapped keep the exclusive-or hash but make another event.
    TXPEvent swapped = *TXPEvent::make("1974", 3);
    swapped.setDataObject(std::make_shared<test::BytesDataObject>("x"));
    swapped.setQosTier(1001);
    swapped.setEventID(event.eventID());
    swapped.setClockSnapshot(event.clockSnapshot());
    EXPECT_EQ(swapped.hash(), event.hash());
    EXPECT_FALSE(swapped == event);
}

TEST(TXPEventTest, ArchivesRoundTripWithTheirKeys) {
    TXPEvent event = *TXPEvent::make("1206", 1002, TXPProductData(7));
    event.setDataObject(std::make_shared<test::BytesDataObject>(std::string("\0\1\2", 3)));
    event.setClockSnapshot(TXPClock::snapshot());
    event.setCustomBytes(std::string("{}"));
    auto values = event.encodeWithCoder();
    for (const char* key : {"TXPEventEventIDKey", "TXPEventMappingIDKey", "TXPEventProductDataKey",
                            "TXPEventTargetKey", "TXPEventQoSTierKey", "TXPEventClockSnapshotKey",
                            "TXPEventCustomDataKey", "TXPEventExpirationDateKey",
                            "TXPEventSerializedDataObjectBytesKey"})
        EXPECT_TRUE(values.contains(key)) << key;
    auto decoded = KeyedArchive::unarchive<TXPEvent>(KeyedArchive::archive(event));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, event);
    EXPECT_EQ(decoded->customBytes(), event.customBytes());
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(decoded->expirationDate() -
                                                                    event.expirationDate())
                  .count(),
              0);
    EXPECT_FALSE(decoded->dataObject());  // only the bytes travel
}

TEST(TXPEventTest, AnArchiveWithoutPayloadIsRefusedAndOneWithoutIdGetsAFreshId) {
    TXPEvent event = test::makeEvent("1974", 1001);
    auto values = event.encodeWithCoder();
    values.erase("TXPEventEventIDKey");
    auto decoded = TXPEvent::decodeWithCoder(values);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->eventID().size(), 32u);
    EXPECT_NE(decoded->eventID(), event.eventID());
    values.erase("TXPEventSerializedDataObjectBytesKey");
    EXPECT_FALSE(TXPEvent::decodeWithCoder(values));
}

TEST(TXPEventTest, AClockOfAnotherClassIsNotReadAsAClock) {
    TXPEvent event = test::makeEvent("1974", 1001);
    auto values = event.encodeWithCoder();
    auto clock = values.at("TXPEventClockSnapshotKey");
    auto nested = *clock.get<PropertyList::Dictionary>();
    nested["$class"] = PropertyList("TXPProductData");
    values["TXPEventClockSnapshotKey"] = PropertyList(nested);
    auto decoded = TXPEvent::decodeWithCoder(values);
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->clockSnapshot());
}

}  // namespace
}  // namespace pex
