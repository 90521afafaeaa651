#include "beacon-core/HeartbeatsPayload.h"

#include <regex>

#include <gtest/gtest.h>

namespace pex {
namespace {

// 2024-01-02 00:00:00 GMT as seconds since 2001.
constexpr HeartbeatDate kJan2 = 1704153600.0 - 978307200.0;

// Base64-URL → gunzip → JSON: what a server reads from the header.
nlohmann::json decodeHeader(const std::string& value) {
    const auto gzipped = HeartbeatsPayload::fromBase64URLText(value);
    EXPECT_TRUE(gzipped);
    if (!gzipped) return nullptr;
    const auto json = HeartbeatsPayload::gunzipped(*gzipped);
    EXPECT_TRUE(json);
    if (!json) return nullptr;
    return nlohmann::json::parse(json->begin(), json->end());
}

TEST(HeartbeatsPayloadTest, HeaderValueDecodesToThePayload) {
    const HeartbeatsPayload payload(
        {{"bcn-ios/12.7.0 os-version/6.1", {kJan2, kJan2 + 86400}}, {"other/1", {kJan2}}});
    const std::string value = payload.headerValue();
    EXPECT_TRUE(std::regex_match(value, std::regex("[A-Za-z0-9_-]+"))) << value;
    EXPECT_EQ(decodeHeader(value), nlohmann::json::parse(R"({"heartbeats":[
        {"agent":"bcn-ios/12.7.0 os-version/6.1","dates":["2024-01-02","2024-01-03"]},
        {"agent":"other/1","dates":["2024-01-02"]}],"version":2})"));
}

TEST(HeartbeatsPayloadTest, JsonIsCompactWithSlashesEscaped) {
    const HeartbeatsPayload payload({{"a/1", {kJan2}}});
    EXPECT_EQ(payload.json(),
              R"({"heartbeats":[{"agent":"a\/1","dates":["2024-01-02"]}],"version":2})");
    EXPECT_EQ(HeartbeatsPayload::empty().json(), R"({"heartbeats":[],"version":2})");
}

TEST(HeartbeatsPayloadTest, TheEmptyPayloadStillHasAHeaderValue) {
    const auto& empty = HeartbeatsPayload::empty();
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(decodeHeader(empty.headerValue()),
              nlohmann::json::parse(R"({"heartbeats":[],"version":2})"));
    EXPECT_TRUE(HeartbeatsPayload({}, 7).isEmpty());  // the version is not looked at
}

TEST(HeartbeatsPayloadTest, DaysAreGmtDates) {
    EXPECT_EQ(HeartbeatsPayload::dayText(kJan2), "2024-01-02");
    EXPECT_EQ(HeartbeatsPayload::dayText(kJan2 + 86399.5), "2024-01-02");
    EXPECT_EQ(HeartbeatsPayload::dayText(kJan2 - 0.5), "2024-01-01");
}

TEST(HeartbeatsPayloadTest, Base64URLDropsPaddingAndUsesTheUrlAlphabet) {
    const std::vector<std::pair<UTLData, std::string>> cases = {
        {{0xfb, 0xff}, "-_8"},         // standard "+/8="
        {{0xfb, 0xff, 0xfe}, "-__-"},  // standard "+//+"
        {{'a'}, "YQ"},                 // standard "YQ=="
        {{}, ""},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(HeartbeatsPayload::base64URLText(bytes), text);
        EXPECT_EQ(HeartbeatsPayload::fromBase64URLText(text), bytes) << text;
    }
    EXPECT_FALSE(HeartbeatsPayload::fromBase64URLText("*not base64*"));
}

}  // namespace
// A stored date is read from a file anything may have written; converting one beyond the
// calendar once overflowed.
TEST(HeartbeatsPayloadTest, ADayBeyondTheCalendarIsHeldAtItsEdge) {
    EXPECT_EQ(HeartbeatsPayload::dayText(0), "2001-01-01");
    EXPECT_EQ(HeartbeatsPayload::dayText(8.6e106), HeartbeatsPayload::dayText(1e12));
    EXPECT_EQ(HeartbeatsPayload::dayText(-8.6e106), HeartbeatsPayload::dayText(-1e12));
}

}  // namespace pex
