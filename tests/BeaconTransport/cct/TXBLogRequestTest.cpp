#include "BeaconTransport/cct/TXBLogRequest.h"

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "../TXPLibrary/TXPLogCapture.h"
#include "../TXPLibrary/TXPTestEvents.h"
#include "BeaconTransport/cct/TXPEventTXBSupport.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

const TXBClientInfo kClient{"6.1", "6.1.0", std::nullopt, std::nullopt};
const TXPClock kSent(2000, 0, 0, 7'000'000);

TXPEvent fixedEvent(const std::string& mappingID, const std::string& payload) {
    TXPEvent event = test::makeEvent(mappingID, 1002, payload);
    event.setClockSnapshot(TXPClock(1000, 3600, 0, 5'000'000));
    return event;
}

TXPEventSet setOf(std::initializer_list<TXPEvent> events) {
    TXPEventSet set;
    for (const TXPEvent& event : events) TXPEventSetAdd(set, event);
    return set;
}

std::string hex(const std::string& bytes) {
    std::string text;
    char digits[4];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", c);
        text += digits;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// The request as protoc reads it against the message definitions.
std::string decodedByProtoc(const std::string& bytes, const char* type) {
    test::TempDir dir;
    auto input = dir.path() / "body.bin";
    std::ofstream(input, std::ios::binary) << bytes;
    std::string command = std::string("protoc --decode=") + type +
                          " -I " PEX_TXB_PROTO_DIR " txb_upload.proto < " + input.string() +
                          " 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

TEST(TXBLogRequestTest, OneEventEncodesToTheGoldenBytes) {
    std::string body =
        TXBLogRequest::constructRequestProto(setOf({fixedEvent("1206", "ab")}), kClient, kSent);
    EXPECT_EQ(hex(body),
              "0A 29 "                                                  // source_batches, 41 bytes
              "0A 10 08 0F 6A 0C 0A 03 36 2E 31 12 05 36 2E 31 2E 30 "  // client: 15, desktop
              "10 B6 09 "                                               // source_id 1206
              "1A 0D 08 E8 07 32 02 61 62 78 A0 38 88 01 05 "  // event: wall, payload, zone, up
              "20 D0 0F "                                      // sent_wall_ms 2000
              "40 07");                                        // sent_uptime_ms 7
}

TEST(TXBLogRequestTest, EventsOfTwoMappingIdsMakeTwoSourceBatches) {
    std::string body = TXBLogRequest::constructRequestProto(
        setOf({fixedEvent("1206", "crash"), fixedEvent("1710", "metrics"),
               fixedEvent("1206", "crash2")}),
        kClient, kSent);
    std::string text = decodedByProtoc(body, "txb.UploadBatchMessage");
    EXPECT_EQ(count(text, "source_batches {"), 2u) << text;
    EXPECT_EQ(count(text, "source_id: 1206"), 1u) << text;
    EXPECT_EQ(count(text, "source_id: 1710"), 1u) << text;
    EXPECT_EQ(count(text, "events {"), 3u) << text;
    EXPECT_EQ(count(text, "client_kind: DESKTOP"), 2u) << text;
    EXPECT_EQ(count(text, "zone_offset_s: 3600"), 3u) << text;
}

TEST(TXBLogRequestTest, ExtrasFromCustomBytes) {
    TXPEvent empty = fixedEvent("1974", "");
    TXPEvent notJson = fixedEvent("1974", "x");
    notJson.setCustomBytes(std::string("not json"));
    TXPEvent extras = fixedEvent("1974", "y");
    TXBSetEventCode(extras, 42);
    TXBSetNetworkConnectionInfoData(extras, TXBLogRequest::networkConnectionInfoRecord(1, 0));
    TXPEvent shortRecord = fixedEvent("1974", "z");
    TXBSetNetworkConnectionInfoData(shortRecord, std::string(15, '\1'));
    struct Case {
        const char* name;
        TXPEvent event;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"an empty payload is still written", empty, {"payload: \"\""}, {"event_code"}},
        {"custom bytes that are not JSON",
         notJson,
         {"payload: \"x\""},
         {"event_code", "network_connection_info"}},
        {"event code and a whole record",
         extras,
         {"event_code: 42", "network_connection_info {", "network_type: WIFI"},
         {}},
        {"a record that is not 16 bytes",
         shortRecord,
         {"payload: \"z\""},
         {"network_connection_info"}},
    };
    for (const Case& c : cases) {
        std::string body = TXBLogRequest::constructRequestProto(setOf({c.event}), kClient, kSent);
        std::string text = decodedByProtoc(body, "txb.UploadBatchMessage");
        for (const auto& part : c.present)
            EXPECT_NE(text.find(part), std::string::npos) << c.name << "\n" << text;
        for (const auto& part : c.absent)
            EXPECT_EQ(text.find(part), std::string::npos) << c.name << "\n" << text;
    }
    std::string emptyBody = TXBLogRequest::constructRequestProto(setOf({empty}), kClient, kSent);
    EXPECT_NE(hex(emptyBody).find("32 00"), std::string::npos);  // field 6, length 0
}

TEST(TXBLogRequestTest, ProductDataAndClientFieldsAreWritten) {
    TXPEvent event = *TXPEvent::make("1206", 1002, TXPProductData(77));
    event.setDataObject(std::make_shared<test::BytesDataObject>("p"));
    event.setClockSnapshot(TXPClock(1, 0, 0, 0));
    TXBClientInfo client{"6.1", "6.1.5", std::string("42"), std::string("com.example.app")};
    std::string text =
        decodedByProtoc(TXBLogRequest::constructRequestProto(setOf({event}), client, kSent),
                        "txb.UploadBatchMessage");
    for (const char* part : {"product_id: 77", "kind: PRODUCT_KIND_DEFAULT", "app_build: \"42\"",
                             "app_bundle_id: \"com.example.app\"", "os_version_long: \"6.1.5\""})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

TEST(TXBLogRequestTest, AnEmptyEventSetMakesAnEmptyBody) {
    test::TXPLogCapture capture;
    EXPECT_TRUE(TXBLogRequest::constructRequestProto({}, kClient, kSent).empty());
    EXPECT_TRUE(capture.contains("An empty event set can't be serialized to proto."));
}

TEST(TXBLogRequestTest, RepliesDecodeWithAndWithoutTheWaitTime) {
    auto withWait = TXBLogRequest::decodeLogResponse(std::string("\x08\xE8\x07", 3));
    ASSERT_TRUE(withWait);
    EXPECT_EQ(withWait->waitMillis, 1000);
    // Tier settings alone: decoded and ignored.
    auto without = TXBLogRequest::decodeLogResponse(std::string("\x1A\x04\x0A\x02\x10\x01", 6));
    ASSERT_TRUE(without);
    EXPECT_FALSE(without->waitMillis);
    auto empty = TXBLogRequest::decodeLogResponse("");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->waitMillis);
    ErrorRef error;
    EXPECT_FALSE(TXBLogRequest::decodeLogResponse(std::string("\x08", 1), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), "NSURLErrorDomain");
    EXPECT_EQ(error->code(), -1);
    EXPECT_TRUE(error->userInfo().contains("nanopb error:"));
}

TEST(TXBLogRequestTest, TheNetworkConnectionRecord) {
    EXPECT_EQ(hex(TXBLogRequest::networkConnectionInfoRecord(0, 0)),
              "00 00 00 00 FF FF FF FF 00 00 00 00 00 00 00 00");
    EXPECT_EQ(hex(TXBLogRequest::networkConnectionInfoRecord(1, 0)),
              "01 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(hex(TXBLogRequest::networkConnectionInfoRecord(2, 4)),
              "01 00 00 00 00 00 00 00 01 00 00 00 08 00 00 00");
    EXPECT_EQ(TXBLogRequest::mobileSubtypeWireValue(10), 14u);
    EXPECT_EQ(TXBLogRequest::mobileSubtypeWireValue(12), 0u);
    EXPECT_EQ(TXBLogRequest::networkConnectionInfoRecord().size(), 16u);
}

TEST(TXBEventSupportTest, CustomBytesKeepTheirKeys) {
    TXPEvent event = fixedEvent("1974", "p");
    EXPECT_FALSE(TXBNeedsNetworkConnectionInfoPopulated(event));
    TXBSetNeedsNetworkConnectionInfoPopulated(event, true);
    TXBSetEventCode(event, 7);
    EXPECT_TRUE(TXBNeedsNetworkConnectionInfoPopulated(event));
    EXPECT_EQ(TXBEventCode(event), 7);
    TXBSetNeedsNetworkConnectionInfoPopulated(event, false);  // keeps only the event code
    EXPECT_FALSE(TXBNeedsNetworkConnectionInfoPopulated(event));
    EXPECT_EQ(TXBEventCode(event), 7);
    TXBSetEventCode(event, std::nullopt);
    EXPECT_FALSE(TXBEventCode(event));
    event.setCustomBytes(std::string("[1,2"));
    TXBSetEventCode(event, 3);  // malformed: left unchanged
    EXPECT_EQ(event.customBytes(), std::string("[1,2"));
}

}  // namespace
}  // namespace pex
