#include "crashreporter/CRSReportUploader.h"

#include <algorithm>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"
#include "BeaconTransport/cct/TXBUploader.h"
#include "BeaconTransport/cct/TXPEndpoints.h"
#include "CrashReporterFixture.h"
#include "crashreporter/CRSUserDefaults.h"
#include "crashreporter/reports/CRSInstallIdentifierModel.h"
#include "crashreporter/reports/CRSInstallations.h"
#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/runtime/CRSApplication.h"
#include "standin-service/TelemetryServer.h"

namespace pex {
namespace {

using namespace std::chrono_literals;
using Answer = test::ScriptedStorage::Answer;

// Answers both requests at once, as a signed-in installation does.
class ReadyInstallations : public CRSInstallations {
  public:
    void installationIDWithCompletion(IDCompletion completion) override {
        completion("fid-of-this-installation", nullptr);
    }
    void authTokenWithCompletion(TokenCompletion completion) override {
        completion("token-of-this-installation", nullptr);
    }
};

class RecordingAnalytics : public BCNAnalyticsInterop {
  public:
    void registerAnalyticsListener(std::weak_ptr<BCNAnalyticsInteropListener>,
                                   const std::string&) override {}
    void logEventWithOrigin(const std::string& origin, const std::string& name,
                            const PropertyList::Dictionary& parameters) override {
        std::lock_guard lock(mutex);
        events.push_back({origin, name, parameters});
    }
    struct Event {
        std::string origin, name;
        PropertyList::Dictionary parameters;
    };
    std::mutex mutex;
    std::vector<Event> events;
};

// Notes where the report's folder stands at the moment the transport takes its event.
class FolderProbe : public TXPEventTransformer {
  public:
    explicit FolderProbe(std::function<void()> look) : look_(std::move(look)) {}
    std::optional<TXPEvent> transformTXEvent(TXPEvent event) override {
        look_();
        return event;
    }

  private:
    std::function<void()> look_;
};

class CRSReportUploaderTest : public test::CrashReporterTest {
  protected:
    std::shared_ptr<CRSReportUploader> uploaderWith(
        std::shared_ptr<TXPTransport> transport,
        std::shared_ptr<BCNAnalyticsInterop> analytics = nullptr) {
        return std::make_shared<CRSReportUploader>(workQueue_, "1:2:linux:3", std::move(transport),
                                                   nullptr, fileManager_, std::move(analytics));
    }
    std::shared_ptr<CRSInternalReport> report(const std::string& name) {
        return CRSInternalReport::reportWithPath(makeReport(name, 1765330000));
    }

    CRSDataCollectionTokenRef token_ = CRSDataCollectionToken::validToken();
    std::shared_ptr<test::ScriptedStorage> storage_ = std::make_shared<test::ScriptedStorage>();
};

TEST_F(CRSReportUploaderTest, AReportTravelsThroughTheRealTransportToTheStandin) {
    standin::StandinService service;
    ASSERT_NE(service.start(), 0);
    standin::TelemetryServer telemetry(service);
    TXPEndpoints::setOriginForTesting(service.origin());

    // The transport as a program carries it, over a storage folder of this test.
    auto registrar = TXPRegistrar::make();
    auto storage = TXPFlatFileStorage::make(root() / "transport");
    auto coordinator = TXPUploadCoordinator::make(registrar, application(), [] { return 2u; });
    storage->setUploadCoordinator(coordinator);  // a stored crash report is uploaded at once
    registrar->registerStorage(storage, 1002);
    registrar->registerUploader(TXBUploader::make(registrar), 1002);
    registrar->targetToStorage();

    std::atomic<bool> seenOnlyInPrepared{false};
    auto probe = std::make_shared<FolderProbe>([&] {
        seenOnlyInPrepared =
            exists(prepared("r1")) && !exists(active("r1")) && !exists(processing("r1"));
    });
    auto transport = TXPTransport::make(kCRSReportMappingID, {probe}, kCRSReportTarget,
                                        std::make_shared<TXPTransformer>(application(), registrar));

    CRSUserDefaults store(root() / "crash-store");
    auto installIDModel =
        std::make_shared<CRSInstallIdentifierModel>(std::make_shared<ReadyInstallations>(), store);
    CRSReportUploader uploader(workQueue_, "1:2:linux:3", transport, installIDModel, fileManager_,
                               nullptr);

    const auto r1 = report("r1");
    workQueue_.async([&] { uploader.prepareAndSubmitReport(r1, token_, false, true); });

    std::vector<standin::TelemetryServer::Upload> uploads;
    for (int i = 0; i < 1000 && (uploads.empty() || exists(prepared("r1"))); ++i) {
        std::this_thread::sleep_for(10ms);  // real HTTP on the loopback
        uploads = telemetry.uploads();
    }
    TXPEndpoints::setOriginForTesting(std::nullopt);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].path, "/telemetry/crash");
    ASSERT_TRUE(uploads[0].decoded);
    const auto batch =
        std::find_if(uploads[0].sourceBatches.begin(), uploads[0].sourceBatches.end(),
                     [](const auto& each) { return each.sourceID == 1206; });
    ASSERT_NE(batch, uploads[0].sourceBatches.end());
    ASSERT_EQ(batch->events.size(), 1u);
    const std::string& payload = batch->events[0].payload;
    // Symbolicated while in "processing", then sent with the installation it rotated to.
    EXPECT_NE(payload.find("signal.clsrecord.symbolicated"), std::string::npos);
    EXPECT_NE(payload.find("fid-of-this-installation"), std::string::npos);
    EXPECT_EQ(uploader.authToken(), "token-of-this-installation");

    EXPECT_TRUE(seenOnlyInPrepared);
    for (const auto& path : {active("r1"), processing("r1"), prepared("r1")})
        EXPECT_FALSE(exists(path)) << path;
    EXPECT_TRUE(logged("Packaged report with id 'r1' for submission"));
    EXPECT_TRUE(logged("Completed report submission with id: r1"));
    EXPECT_TRUE(CRSApplicationCurrentActivities().empty());
}

TEST_F(CRSReportUploaderTest, AnUrgentUploadReturnsOnlyOnceTheTransportHasAnswered) {
    storage_->answer = Answer::Hold;
    auto uploader = uploaderWith(transportInto(storage_));
    auto sending = std::async(std::launch::async, [&] {
        uploader->prepareAndSubmitReport(report("r1"), token_, true, true);
    });
    ASSERT_TRUE(storage_->waitForEvents(1));
    EXPECT_EQ(sending.wait_for(100ms), std::future_status::timeout);
    EXPECT_TRUE(exists(prepared("r1")));
    EXPECT_EQ(CRSApplicationCurrentActivities(),
              std::vector<std::string>{kCRSReportProcessingActivityReason});

    storage_->release(true);
    sending.get();
    EXPECT_FALSE(exists(prepared("r1")));  // gone before the caller goes on
    EXPECT_TRUE(logged("skipped rotating the Install ID during urgent mode"));
    EXPECT_TRUE(logged("Submitting report urgently"));

    // What the transport got: the crash report's source and target, always the immediate tier.
    const auto stored = storage_->stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].mappingID(), "1206");
    EXPECT_EQ(stored[0].target(), 1002);
    EXPECT_EQ(stored[0].qosTier(), TXPEventTierImmediate);
    EXPECT_NE(stored[0].serializedDataObjectBytes()->find("signal.clsrecord"), std::string::npos);
}

TEST_F(CRSReportUploaderTest, AnUrgentUploadWaitsThirtySecondsAtMostAndLeavesThePackage) {
    ScopedManualClock clock;
    storage_->answer = Answer::Hold;
    auto uploader = uploaderWith(transportInto(storage_));
    auto sending = std::async(std::launch::async, [&] {
        uploader->prepareAndSubmitReport(report("r1"), token_, true, true);
    });
    ASSERT_TRUE(storage_->waitForEvents(1));
    clock.clock().advance(29s);
    EXPECT_EQ(sending.wait_for(100ms), std::future_status::timeout);
    clock.clock().advance(1s);
    ASSERT_EQ(sending.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(exists(prepared("r1")));
    EXPECT_TRUE(logged("did not store report r1 within 30 seconds"));

    // A transport that stores the event after all still removes the package.
    storage_->release(true);
    EXPECT_FALSE(exists(prepared("r1")));
}

TEST_F(CRSReportUploaderTest, AFailedWriteReleasesTheCallerAndKeepsThePackage) {
    struct Case {
        Answer answer;
        const char* logLine;
    };
    const Case cases[] = {
        {Answer::NotWritten,
         "Failed to send crash report due to failure writing BeaconTransport event"},
        {Answer::WrittenWithError,
         "Failed to send crash report due to BeaconTransport error: disk full"}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "r" + std::to_string(++n);
        storage_->answer = c.answer;
        auto uploader = uploaderWith(transportInto(storage_));
        uploader->prepareAndSubmitReport(report(name), token_, true, true);
        EXPECT_TRUE(exists(prepared(name))) << c.logLine;
        EXPECT_TRUE(logged(c.logLine));
    }
}

// A packaged report with no readable file would leave only an empty message in its place.
TEST_F(CRSReportUploaderTest, AReportThatEncodesToNothingIsNeitherSentNorRemoved) {
    auto uploader = uploaderWith(transportInto(storage_));
    const std::string folder = makeReport("r1", 1765330000);
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        writeFile(file.path(), "{\"torn\n");
    }
    std::filesystem::rename(folder, prepared("r1"));
    for (const bool urgent : {true, false}) {
        SCOPED_TRACE(urgent);
        uploader->uploadPackagedReportAtPath(prepared("r1"), token_, urgent);
        EXPECT_TRUE(exists(prepared("r1")));
        EXPECT_TRUE(storage_->stored().empty());
        EXPECT_TRUE(logged("Report r1 encodes to an empty message; it stays prepared"));
    }
    // Its crash record comes back readable: the next try sends it.
    writeFile(std::filesystem::path(prepared("r1")) / "signal.clsrecord",
              R"({"signal":{"time":1765330005,"number":11}})"
              "\n");
    uploader->uploadPackagedReportAtPath(prepared("r1"), token_, true);
    EXPECT_EQ(storage_->stored().size(), 1u);
    EXPECT_FALSE(exists(prepared("r1")));
}

TEST_F(CRSReportUploaderTest, WithoutAValidTokenNothingMovesAndNothingIsSent) {
    auto uploader = uploaderWith(transportInto(storage_));
    uploader->prepareAndSubmitReport(report("r1"), nullptr, true, true);
    EXPECT_TRUE(exists(active("r1")));
    EXPECT_TRUE(logged("Data collection disabled and report will not be submitted"));

    std::filesystem::rename(active("r1"), prepared("r1"));
    uploader->uploadPackagedReportAtPath(prepared("r1"), nullptr, true);
    EXPECT_TRUE(exists(prepared("r1")));
    EXPECT_TRUE(logged("A report upload was requested with an invalid data collection token."));
    EXPECT_TRUE(storage_->stored().empty());
}

TEST_F(CRSReportUploaderTest, AFailedMoveStopsWhereTheReportStands) {
    auto uploader = uploaderWith(transportInto(storage_));
    const auto r1 = report("r1");
    std::filesystem::create_directories(processing("r1"));  // a move never replaces a folder
    uploader->prepareAndSubmitReport(r1, token_, true, true);
    EXPECT_TRUE(exists(active("r1")));
    EXPECT_TRUE(logged("Unable to move report for processing"));

    std::filesystem::create_directories(prepared("r1"));
    uploader->prepareAndSubmitReport(r1, token_, true, false);
    EXPECT_TRUE(exists(active("r1")));
    EXPECT_TRUE(logged("Unable to move report to prepared"));
    EXPECT_TRUE(storage_->stored().empty());
}

TEST_F(CRSReportUploaderTest, OnlyACrashIsToldToAnalytics) {
    auto analytics = std::make_shared<RecordingAnalytics>();
    auto uploader = uploaderWith(transportInto(storage_), analytics);
    uploader->prepareAndSubmitReport(report("crash"), token_, true, true);

    const std::string errorsOnly = makeReport("errors", 1765330000, false);
    writeFile(std::filesystem::path(errorsOnly) / "errors_a.clsrecord", "{}\n");
    uploader->prepareAndSubmitReport(CRSInternalReport::reportWithPath(errorsOnly), token_, true,
                                     true);
    EXPECT_EQ(storage_->stored().size(), 2u);

    ASSERT_EQ(analytics->events.size(), 1u);
    const auto& event = analytics->events[0];
    EXPECT_EQ(event.origin, "clx");
    EXPECT_EQ(event.name, "_ae");
    // The signal's time, five seconds after the report started, in milliseconds.
    EXPECT_EQ(event.parameters.at("timestamp"), PropertyList(std::int64_t{1765330005000}));
    EXPECT_EQ(event.parameters.at("fatal"), PropertyList(std::int64_t{1}));
}

}  // namespace
}  // namespace pex
