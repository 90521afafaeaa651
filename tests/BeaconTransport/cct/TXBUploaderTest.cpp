#include "BeaconTransport/cct/TXBUploader.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <set>

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
        {1000, "/telemetry/log", "datatransport/0.0.1 txbsupport/0.0.1 linux", false},
        {1001, "/telemetry/batchlog", "datatransport/0.0.1 fllsupport/0.0.1 linux", true},
        {1002, "/telemetry/crash", "datatransport/0.0.1 cshsupport/0.0.1 linux", true},
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

TEST_F(TXBUploaderTest, AStoredWaitEndsAtItsInstantWhateverTheZoneOrAClockChange) {
    constexpr std::int64_t kHour = 3'600'000'000'000;  // nanoseconds
    const TXPClock now = TXPClock::snapshot();
    struct Case {
        const char* name;
        TXPClock wait;
        bool uploads;
    };
    const Case cases[] = {
        {"a wait that ended, stored in a zone far east",
         {now.timeMillis() - 1000, 14 * 3600, now.kernelBootTime(), now.uptime(), now.bootID()},
         true},
        // The kernel's boot time was an hour later before the wall clock was set back an hour.
        {"a wait that ended, stored before the wall clock was set back",
         {now.timeMillis() - 1000, now.timezoneOffsetSeconds(), now.kernelBootTime() + kHour,
          now.uptime(), now.bootID()},
         true},
        {"a wait still running, stored in a zone far west",
         {now.timeMillis() + 600'000, -12 * 3600, now.kernelBootTime(), now.uptime(), now.bootID()},
         false},
    };
    for (const Case& c : cases) {
        telemetry.clear();
        uploader->setNextUploadTime(c.wait, 1000);
        store(test::makeEvent("1974", 1000));
        upload(1000, TXPNetworkWifi);
        EXPECT_EQ(telemetry.uploads().size(), c.uploads ? 1u : 0u) << c.name;
        std::filesystem::remove_all(storage->eventDataStoragePath() / "1000");
    }
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
              std::string("datatransport/0.0.1 cshsupport/0.0.1 linux"));
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

// Passes every call on to a real storage: the uploader must need nothing but the interface.
class ForwardingStorage : public TXPStorageProtocol {
  public:
    explicit ForwardingStorage(std::shared_ptr<TXPStorageProtocol> inner)
        : inner_(std::move(inner)) {}
    void storeEvent(TXPEvent event, StoreCompletion done) override {
        inner_->storeEvent(std::move(event), std::move(done));
    }
    void hasEventsForTarget(std::int64_t target, std::function<void(bool)> done) override {
        inner_->hasEventsForTarget(target, std::move(done));
    }
    void batchWithEventSelector(TXPStorageEventSelector selector, TXPDate expiration,
                                BatchCompletion done) override {
        ++batches;
        if (emptyBatches) {
            // The batch is taken for real, but none of its events make it into the body.
            done = [done = std::move(done)](std::optional<std::int64_t> id,
                                            std::optional<TXPEventSet> events) {
                done(id, events ? std::optional<TXPEventSet>(TXPEventSet{}) : std::nullopt);
            };
        }
        inner_->batchWithEventSelector(std::move(selector), expiration, std::move(done));
    }
    void removeBatchWithID(std::int64_t id, bool deleteEvents,
                           std::function<void()> done) override {
        inner_->removeBatchWithID(id, deleteEvents, std::move(done));
    }
    void batchIDsForTarget(std::int64_t target, BatchIDsCompletion done) override {
        inner_->batchIDsForTarget(target, std::move(done));
    }
    void removeAllBatchesForTarget(std::int64_t target, bool deleteEvents,
                                   std::function<void()> done) override {
        inner_->removeAllBatchesForTarget(target, deleteEvents, std::move(done));
    }
    void checkForExpirations() override { inner_->checkForExpirations(); }
    void storeLibraryData(std::string bytes, std::string key,
                          std::function<void(ErrorRef)> done) override {
        inner_->storeLibraryData(std::move(bytes), std::move(key), std::move(done));
    }
    void libraryDataForKey(std::string key, LibraryFetchCompletion fetched,
                           LibraryNewValue next) override {
        inner_->libraryDataForKey(std::move(key), std::move(fetched), std::move(next));
    }
    void removeLibraryDataForKey(std::string key, std::function<void(ErrorRef)> done) override {
        inner_->removeLibraryDataForKey(std::move(key), std::move(done));
    }
    void storageSizeWithCallback(std::function<void(std::uint64_t)> done) override {
        inner_->storageSizeWithCallback(std::move(done));
    }
    void setDelegate(std::weak_ptr<TXPStorageDelegate> delegate) override {
        inner_->setDelegate(std::move(delegate));
    }
    std::shared_ptr<TXPStorageDelegate> delegate() const override { return inner_->delegate(); }

    std::atomic<int> batches{0};
    bool emptyBatches = false;  // set before the upload starts

  private:
    std::shared_ptr<TXPStorageProtocol> inner_;
};

TEST_F(TXBUploaderTest, AFailedUploadGivesTheEventsAndTheTakenCountsBack) {
    struct Case {
        const char* name;
        std::int32_t target;
        std::function<void()> prepare;
    };
    const Case cases[] = {
        {"a server error", 1002,
         [&] {
             telemetry.script({500, {}, ""});
         }},
        {"no endpoint for the target", 999, [] {}},
        // No metrics controller for this target: a metrics event would fill the body.
        {"a batch that makes no body", 1003,
         [&] {
             auto empty = std::make_shared<ForwardingStorage>(storage);
             empty->emptyBatches = true;
             registrar->registerStorage(empty, 1003);
             registrar->targetToStorage();
         }},
        {"the server is gone", 1002, [&] { service.stop(); }},
    };
    registrar->registerStorage(storage, 999);
    registrar->registerMetricsController(metrics, 999);
    registrar->targetToStorage();
    for (const Case& c : cases) {
        takeMetrics();
        TXPEventSet lost;
        TXPEventSetAdd(lost, test::makeEvent("1206", c.target));
        std::promise<void> counted;
        metrics->logEventsDroppedForReason(TXPEventDropReasonExpired, lost,
                                           [&](ErrorRef) { counted.set_value(); });
        counted.get_future().get();
        for (int i = 0; i < 3; ++i) store(test::makeEvent("1206", c.target, "crash"));
        c.prepare();
        upload(c.target, kForcedOnWifi);

        EXPECT_EQ(storedEvents(c.target), 3u) << c.name;
        for (auto& entry : std::filesystem::directory_iterator(storage->batchDataStoragePath()))
            ADD_FAILURE() << c.name << ": batch left behind " << entry.path();
        auto counts = takeMetrics();
        ASSERT_TRUE(counts) << c.name;
        EXPECT_EQ(counts->logSourceMetrics.droppedEventCounterByLogSource(),
                  (std::map<std::string, std::map<std::int64_t, std::int64_t>>{
                      {"1206", {{TXPEventDropReasonExpired, 1}}}}))
            << c.name;
        std::filesystem::remove_all(storage->eventDataStoragePath() / std::to_string(c.target));
    }
}

TEST_F(TXBUploaderTest, EachNetworkConditionUploadsItsTiers) {
    struct Case {
        const char* name;
        std::int64_t conditions;
        std::set<std::int64_t> sentTiers;
    };
    const Case cases[] = {
        {"Wi-Fi", TXPNetworkWifi, {0, 1, 3, 4, 5}},
        {"mobile data", TXPNetworkCellular, {3, 4}},
        {"forced", kForcedOnWifi, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        telemetry.clear();
        uploader->setNextUploadTime(std::nullopt, 1000);
        std::filesystem::remove_all(storage->eventDataStoragePath() / "1000");
        for (std::int64_t tier = 0; tier <= 5; ++tier)
            store(test::makeEvent("1974", 1000, "tier " + std::to_string(tier), tier));
        upload(1000, c.conditions);
        std::set<std::int64_t> sent;
        for (const auto& uploaded : telemetry.uploads())
            for (const auto& batch : uploaded.sourceBatches)
                for (const auto& event : batch.events) sent.insert(event.payload.back() - '0');
        EXPECT_EQ(sent, c.sentTiers) << c.name;
        EXPECT_EQ(storedEvents(1000), 6 - c.sentTiers.size()) << c.name;
    }
}

TEST_F(TXBUploaderTest, ABatchAnInterruptedUploadLeftIsSentWithTheNextRound) {
    store(test::makeEvent("1974", 1000, "left"));
    // An upload that never finished: its events sit in a batch folder.
    ASSERT_TRUE(test::batch(*storage, TXPStorageEventSelector::eventSelectorForTarget(1000),
                            TXPDateNow() + std::chrono::minutes(10)));
    ASSERT_EQ(storedEvents(1000), 0u);
    store(test::makeEvent("1974", 1000, "new"));
    upload(1000, TXPNetworkWifi);
    const auto uploads = telemetry.uploads();
    ASSERT_EQ(uploads.size(), 1u);
    std::multiset<std::string> payloads;
    for (const auto& batch : uploads[0].sourceBatches)
        for (const auto& event : batch.events) payloads.insert(event.payload);
    EXPECT_EQ(payloads, (std::multiset<std::string>{"left", "new"}));
    EXPECT_EQ(storedEvents(1000), 0u);
    for (auto& entry : std::filesystem::directory_iterator(storage->batchDataStoragePath()))
        ADD_FAILURE() << "batch left behind " << entry.path();
}

class CountingMetrics : public TXPMetricsControllerProtocol {
  public:
    explicit CountingMetrics(std::shared_ptr<TXPMetricsControllerProtocol> inner)
        : inner_(std::move(inner)) {}
    void storageDidRemoveExpiredEvents(TXPStorageProtocol& storage,
                                       const TXPEventSet& events) override {
        inner_->storageDidRemoveExpiredEvents(storage, events);
    }
    void storageDidDropEvent(TXPStorageProtocol& storage, const TXPEvent& event) override {
        inner_->storageDidDropEvent(storage, event);
    }
    void logEventsDroppedForReason(std::int64_t reason, const TXPEventSet& events,
                                   Done done) override {
        inner_->logEventsDroppedForReason(reason, events, std::move(done));
    }
    void getAndResetMetrics(std::function<void(std::shared_ptr<const TXPMetrics>)> done) override {
        ++taken;
        inner_->getAndResetMetrics(std::move(done));
    }
    void offerMetrics(std::shared_ptr<const TXPMetrics> metrics, Done done) override {
        inner_->offerMetrics(std::move(metrics), std::move(done));
    }

    std::atomic<int> taken{0};

  private:
    std::shared_ptr<TXPMetricsControllerProtocol> inner_;
};

TEST_F(TXBUploaderTest, AnyStorageAndMetricsControllerOfTheInterfacesWill) {
    auto forwarding = std::make_shared<ForwardingStorage>(storage);
    auto counting = std::make_shared<CountingMetrics>(metrics);
    registrar->registerStorage(forwarding, 1002);
    registrar->registerMetricsController(counting, 1002);
    registrar->targetToStorage();
    takeMetrics();
    store(test::makeEvent("1206", 1002, "crash"));
    upload(1002, kForcedOnWifi);
    const auto uploads = telemetry.uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].sourceBatches.size(), 2u);  // the crash and the metrics
    EXPECT_EQ(forwarding->batches, 1);
    EXPECT_EQ(counting->taken, 1);
    EXPECT_EQ(storedEvents(1002), 0u);
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
