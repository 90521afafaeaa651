#include "BeaconTransport/cct/TXBUploader.h"

#include <algorithm>
#include <future>

#include <gtest/gtest.h>

#include "../TXPLibrary/TXPStorageTestSupport.h"
#include "../TXPLibrary/TXPTestEvents.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsController.h"
#include "BeaconTransport/cct/TXPEndpoints.h"
#include "standin-service/TelemetryServer.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using standin::TelemetryServer;
constexpr std::int64_t kForcedOnWifi = TXPNetworkWifi | TXPUploadForced;

class TXBUploaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(service.start(), 0);
        TXPEndpoints::setOriginForTesting(service.origin());
        for (std::int64_t target : {1000, 1001, 1002, 1003})
            registrar->registerStorage(storage, target);
        for (std::int64_t target : {1002, 1001})
            registrar->registerMetricsController(metrics, target);
        registrar->targetToStorage();
    }
    void TearDown() override { TXPEndpoints::setOriginForTesting(std::nullopt); }

    void store(const TXPEvent& event) { ASSERT_TRUE(test::store(*storage, event).written); }
    void upload(std::int32_t target, std::int64_t conditions) {
        uploader->uploadTarget(target, conditions);
        std::promise<void> idle;
        uploader->whenIdle([&] { idle.set_value(); });
        idle.get_future().get();
        test::drain(*storage);
    }
    std::size_t storedEvents(std::int64_t target) {
        std::size_t count = 0;
        std::error_code error;
        for (auto& entry : std::filesystem::recursive_directory_iterator(
                 storage->eventDataStoragePath() / std::to_string(target), error))
            if (entry.is_regular_file()) ++count;
        return count;
    }
    std::shared_ptr<const TXPMetrics> takeMetrics() {
        std::promise<std::shared_ptr<const TXPMetrics>> taken;
        metrics->getAndResetMetrics([&](auto m) { taken.set_value(m); });
        return taken.get_future().get();
    }
    std::int64_t millisUntilNextUpload(std::int64_t target) {
        auto next = uploader->nextUploadTimeForTarget(target);
        return next ? next->timeMillis() - TXPClock::snapshot().timeMillis() : -1;
    }

    standin::StandinService service;
    TelemetryServer telemetry{service};
    test::TempDir dir;
    std::shared_ptr<TXPFlatFileStorage> storage = TXPFlatFileStorage::make(dir.path());
    std::shared_ptr<TXPRegistrar> registrar = TXPRegistrar::make();
    std::shared_ptr<TXPMetricsController> metrics = std::make_shared<TXPMetricsController>(storage);
    std::shared_ptr<TXBUploader> uploader = TXBUploader::make(registrar);
};

TEST_F(TXBUploaderTest, EachTargetSendsItsOwnHeaders) {
    struct Case {
        std::int32_t target;
        const char* path;
        const char* userAgent;
        bool apiKey;
    };
    takeMetrics();  // a counting window exists, so targets with a controller add a metrics event
    const Case cases[] = {
        {1000, "/telemetry/log", "datatransport/0.0.1 txbsupport/0.0.1 apple/", false},
        {1001, "/telemetry/batchlog", "datatransport/0.0.1 fllsupport/0.0.1 apple/", true},
        {1002, "/telemetry/crash", "datatransport/0.0.1 cshsupport/0.0.1 apple/", true},
    };
    for (const Case& c : cases) {
        telemetry.clear();
        for (int i = 0; i < 20; ++i)
            store(test::makeEvent("1974", c.target, std::string(200, 'a')));
        upload(c.target, TXPNetworkWifi);
        auto uploads = telemetry.uploads();
        ASSERT_EQ(uploads.size(), 1u) << c.target;
        const auto& sent = uploads[0];
        EXPECT_EQ(sent.path, c.path);
        EXPECT_EQ(sent.header("User-Agent"), std::string(c.userAgent));
        EXPECT_EQ(sent.header("Content-Type"), std::string("application/x-protobuf"));
        EXPECT_EQ(sent.header("Content-Encoding"), std::string("gzip"));  // 20 alike events shrink
        EXPECT_EQ(sent.header("X-Beacon-Api-Key").has_value(), c.apiKey) << c.target;
        if (c.apiKey) {
            EXPECT_EQ(sent.header("X-Beacon-Api-Key")->size(), 39u);
        }
        EXPECT_FALSE(sent.header("Expect"));
        ASSERT_TRUE(sent.decoded);
        auto events = std::find_if(sent.sourceBatches.begin(), sent.sourceBatches.end(),
                                   [](const auto& batch) { return batch.sourceID == 1974; });
        ASSERT_NE(events, sent.sourceBatches.end());
        EXPECT_EQ(events->events.size(), 20u);
        EXPECT_EQ(sent.sourceBatches.size(), c.apiKey ? 2u : 1u);  // metrics ride along
        EXPECT_EQ(storedEvents(c.target), 0u);                     // 200: the batch is deleted
    }
}

TEST_F(TXBUploaderTest, TheReplyStatusDecidesWhatHappensToTheBatch) {
    struct Case {
        int status;
        bool kept;
        bool countedAsRejected;
    };
    const Case cases[] = {{200, false, false}, {404, true, false}, {429, true, false},
                          {500, true, false},  {503, true, false}, {400, false, true},
                          {403, false, false}, {302, false, false}};
    for (const Case& c : cases) {
        telemetry.clear();
        takeMetrics();
        store(test::makeEvent("1206", 1002, "crash"));
        std::size_t before = storedEvents(1002);
        telemetry.script({c.status, {}, ""});
        upload(1002, kForcedOnWifi);
        EXPECT_EQ(telemetry.uploads().size(), 1u) << c.status;
        EXPECT_EQ(storedEvents(1002), c.kept ? before : 0u) << c.status;
        auto counts = takeMetrics();
        ASSERT_TRUE(counts) << c.status;
        auto& bySource = counts->logSourceMetrics.droppedEventCounterByLogSource();
        bool rejected = bySource.contains("1206") && bySource.at("1206").contains(5);
        EXPECT_EQ(rejected, c.countedAsRejected) << c.status;
        // Clean slate for the next case.
        test::removeBatch(*storage, -1, true);
        std::filesystem::remove_all(storage->eventDataStoragePath() / "1002");
    }
}

TEST_F(TXBUploaderTest, AMetricsEventTravelsWithTargetsThatHaveAController) {
    takeMetrics();  // starts a window
    store(test::makeEvent("1206", 1002, "crash"));
    upload(1002, kForcedOnWifi);
    auto uploads = telemetry.uploads();
    ASSERT_EQ(uploads.size(), 1u);
    std::set<std::int64_t> sources;
    for (const auto& batch : uploads[0].sourceBatches) sources.insert(batch.sourceID);
    EXPECT_EQ(sources, (std::set<std::int64_t>{1206, 1710}));

    telemetry.clear();
    store(test::makeEvent("1974", 1000, "x"));
    upload(1000, kForcedOnWifi);
    ASSERT_EQ(telemetry.uploads().size(), 1u);
    EXPECT_EQ(telemetry.uploads()[0].sourceBatches.size(), 1u);  // no controller for 1000
}

TEST_F(TXBUploaderTest, TheServersWaitHoldsOrdinaryUploadsButNotForcedOnes) {
    store(test::makeEvent("1974", 1001));
    telemetry.script({429, {{"Retry-After", "120"}}, ""});
    upload(1001, TXPNetworkWifi);
    EXPECT_NEAR(millisUntilNextUpload(1001), 120'000, 5'000);
    upload(1001, TXPNetworkWifi);  // must wait
    EXPECT_EQ(telemetry.uploads().size(), 1u);
    upload(1001, kForcedOnWifi);  // forced: goes at once
    EXPECT_EQ(telemetry.uploads().size(), 2u);
    upload(1001, TXPNetworkNone | TXPUploadForced);  // never without network
    EXPECT_EQ(telemetry.uploads().size(), 2u);
}

TEST_F(TXBUploaderTest, ATinyBodyGoesUncompressed) {
    TXPEvent tiny = test::makeEvent("1", 1000, "");
    store(tiny);
    upload(1000, kForcedOnWifi);
    auto uploads = telemetry.uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_FALSE(uploads[0].header("Content-Encoding"));
    EXPECT_EQ(uploads[0].rawBody, uploads[0].body);
    EXPECT_TRUE(uploads[0].decoded);
}

TEST_F(TXBUploaderTest, ARedirectIsFollowedOnceToTheSameOriginWithTheOperationsOwnHeaders) {
    store(test::makeEvent("1206", 1002, "crash"));
    telemetry.script({302, {{"Location", "/telemetry/log"}}, ""});
    telemetry.script({302, {{"Location", "/telemetry/batchlog"}}, ""});  // not followed again
    upload(1002, kForcedOnWifi);
    auto uploads = telemetry.uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[1].path, "/telemetry/log");
    EXPECT_TRUE(uploads[1].header("X-Beacon-Api-Key"));
    EXPECT_EQ(uploads[1].header("User-Agent"),
              std::string("datatransport/0.0.1 cshsupport/0.0.1 apple/"));
    EXPECT_EQ(uploads[1].rawBody, uploads[0].rawBody);
}

TEST_F(TXBUploaderTest, ARedirectToAnotherOriginIsNotFollowed) {
    int otherPort = service.addListener();
    ASSERT_NE(otherPort, 0);
    store(test::makeEvent("1206", 1002, "crash"));
    telemetry.script({307, {{"Location", service.origin(otherPort) + "/telemetry/crash"}}, ""});
    upload(1002, kForcedOnWifi);
    auto uploads = telemetry.uploads();
    ASSERT_EQ(uploads.size(), 1u);  // the body never reached the other listener
}

TEST(TXBUploaderWaitTest, WaitTimesComeFromTheBodyThenRetryAfterAndAreClamped) {
    auto response = [](std::optional<std::string> retryAfter) {
        HTTPURLResponse head;
        head.statusCode = 429;
        if (retryAfter) head.headers.push_back({"Retry-After", *retryAfter});
        return head;
    };
    const std::string wait5000("\x08\x88\x27", 3);
    const std::string negative("\x08\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01", 11);
    const std::string huge("\x08\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 10);
    struct Case {
        const char* name;
        std::optional<std::string> retryAfter;
        std::string body;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"wait_ms beats Retry-After", "120", wait5000, 5000},
        {"Retry-After in seconds", "120", "", 120'000},
        {"Retry-After that is not a number", "soon", "", 900'000},
        {"no hint at all", std::nullopt, "", 900'000},
        {"a reply without wait_ms", "3", std::string("\x1A\x00", 2), 3000},
        {"a body that does not decode", "7", std::string("\x08", 1), 7000},
        {"a negative wait is none", std::nullopt, negative, 0},
        {"a negative Retry-After is none", "-30", "", 0},
        {"a huge wait is one day", std::nullopt, huge, 86'400'000},
        {"a huge Retry-After is one day", "99999999", "", 86'400'000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TXBUploader::waitMillisForResponse(response(c.retryAfter), c.body), c.expected)
            << c.name;
}

TEST(TXBUploaderRequestTest, AnEmptyBodyMakesNoRequest) {
    EXPECT_FALSE(TXBUploader::constructRequest("http://127.0.0.1:1/telemetry/log", 1000, ""));
    auto request = TXBUploader::constructRequest("http://127.0.0.1:1/telemetry/log", 1003, "x");
    ASSERT_TRUE(request);
    std::vector<std::string> names;
    for (const auto& header : request->headers) names.push_back(header.name);
    EXPECT_EQ(names, (std::vector<std::string>{"X-Beacon-Api-Key", "Content-Type",
                                               "Accept-Encoding", "User-Agent"}));
}

}  // namespace
}  // namespace pex
