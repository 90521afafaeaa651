#include "crashreporter/CRSExistingReportManager.h"

#include <future>

#include <gtest/gtest.h>

#include "CrashReporterFixture.h"
#include "crashreporter/BCNCrashReporterReport.h"
#include "crashreporter/CRSReportUploader.h"
#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/reports/CRSOnDemandModel.h"

namespace pex {
namespace {

constexpr std::int64_t kStart = 1765330000;

class CRSExistingReportManagerTest : public test::CrashReporterTest {
  protected:
    std::shared_ptr<CRSExistingReportManager> makeManager() {
        auto uploader = std::make_shared<CRSReportUploader>(
            workQueue_, "1:2:linux:3", transportInto(storage_), nullptr, fileManager_, nullptr);
        return std::make_shared<CRSExistingReportManager>(fileManager_, uploader, workQueue_,
                                                          nullptr, nullptr, onDemand_);
    }
    std::size_t sent() const { return storage_->stored().size(); }

    std::shared_ptr<test::ScriptedStorage> storage_ = std::make_shared<test::ScriptedStorage>();
    std::shared_ptr<CRSOnDemandModel> onDemand_ =
        std::make_shared<CRSOnDemandModel>(nullptr, fileManager_);
    CRSDataCollectionTokenRef token_ = CRSDataCollectionToken::validToken();
};

TEST_F(CRSExistingReportManagerTest, KeepsTheNewestFourReportsWithEventsAndDeletesTheRest) {
    // Listed in no particular order; "empty" is the newest but has no events.
    for (int i : {3, 6, 1, 5, 2, 4}) makeReport("r" + std::to_string(i), kStart + i);
    makeReport("empty", kStart + 10, false);
    auto manager = makeManager();
    manager->collectExistingReports();

    EXPECT_EQ(manager->existingUnemptyActiveReportPaths(),
              (std::vector<std::string>{active("r6"), active("r5"), active("r4"), active("r3")}));
    EXPECT_EQ(manager->unsentReportsCount(), 4u);
    ASSERT_TRUE(manager->newestInternalReport());
    EXPECT_EQ(manager->newestInternalReport()->identifier(), "r6");
    EXPECT_TRUE(logged("Deleting 2 unsent reports over the limit of 4 to prevent disk space"));

    drainWorkQueue();  // deletions wait their turn on the work queue
    for (const char* gone : {"r1", "r2", "empty"}) EXPECT_FALSE(exists(active(gone))) << gone;
    for (const char* kept : {"r3", "r4", "r5", "r6"}) EXPECT_TRUE(exists(active(kept))) << kept;
    EXPECT_EQ(sent(), 0u);  // listing sends nothing
}

TEST_F(CRSExistingReportManagerTest, WithoutReportsThereIsNothingToOffer) {
    makeReport("empty", kStart, false);
    auto manager = makeManager();
    manager->collectExistingReports();
    EXPECT_TRUE(manager->existingUnemptyActiveReportPaths().empty());
    EXPECT_EQ(manager->unsentReportsCount(), 0u);
    EXPECT_EQ(manager->newestUnsentReport(), nullptr);
    EXPECT_FALSE(logged("over the limit"));
    drainWorkQueue();
    EXPECT_FALSE(exists(active("empty")));
}

TEST_F(CRSExistingReportManagerTest, TheNewestUnsentReportIsOfferedToTheApplication) {
    makeReport("older", kStart);
    makeReport("newer", kStart + 60);
    auto manager = makeManager();
    manager->collectExistingReports();
    const auto offered = manager->newestUnsentReport();
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->reportID(), "newer");
    EXPECT_TRUE(offered->hasCrash());
}

TEST_F(CRSExistingReportManagerTest, AnUrgentSendUploadsEveryReportBeforeItReturns) {
    makeReport("a", kStart);
    makeReport("b", kStart + 1);
    auto manager = makeManager();
    manager->collectExistingReports();
    const std::string stored = makeReport("on-demand", kStart + 2);
    onDemand_->setStoredActiveReportPaths({stored});

    manager->sendUnsentReportsWithToken(token_, true);
    EXPECT_EQ(sent(), 3u);
    for (const char* name : {"a", "b", "on-demand"}) {
        EXPECT_FALSE(exists(active(name))) << name;
        EXPECT_FALSE(exists(prepared(name))) << name;
    }
    EXPECT_TRUE(onDemand_->storedActiveReportPaths().empty());
}

TEST_F(CRSExistingReportManagerTest, ANonUrgentSendQueuesTheWorkAndPicksUpLaterStages) {
    makeReport("active", kStart);
    // Left by an earlier launch in the later stages: packaged as it stands, or sent directly.
    makeReport("processing", kStart, true, fileManager_->processingPath());
    makeReport("prepared", kStart, true, fileManager_->preparedPath());
    makeReport("vanishing", kStart, true, fileManager_->preparedPath());
    auto manager = makeManager();
    manager->collectExistingReports();
    EXPECT_EQ(manager->processingReportPaths(), std::vector<std::string>{processing("processing")});
    EXPECT_EQ(manager->preparedReportPaths().size(), 2u);

    // The work queue is busy until the test lets it go, so nothing can run early.
    std::promise<void> gate;
    workQueue_.async([future = gate.get_future().share()] { future.wait(); });
    manager->sendUnsentReportsWithToken(token_, false);
    std::filesystem::remove_all(prepared("vanishing"));
    EXPECT_EQ(sent(), 0u);
    EXPECT_TRUE(exists(active("active")));
    gate.set_value();
    drainWorkQueue();
    ASSERT_TRUE(storage_->waitForEvents(3));  // the transport stores them on its own queue

    EXPECT_EQ(sent(), 3u);  // the vanished one is skipped
    for (const std::string& path :
         {active("active"), processing("processing"), prepared("prepared"), prepared("active")})
        EXPECT_FALSE(exists(path)) << path;
    // A report taken from "processing" is not symbolicated again.
    for (const auto& event : storage_->stored()) {
        const auto& bytes = *event.serializedDataObjectBytes();
        if (bytes.find("processing") != std::string::npos) {
            EXPECT_EQ(bytes.find("signal.clsrecord.symbolicated"), std::string::npos);
        }
    }
}

TEST_F(CRSExistingReportManagerTest, ReportsWithoutEventsOrAValidTokenAreNotUploadedAtOnce) {
    auto manager = makeManager();
    const std::string empty = makeReport("empty", kStart, false);
    manager->processExistingActiveReportPath(empty, token_, true);
    // Urgent without a valid token falls back to the queue, where the uploader refuses it.
    const std::string refused = makeReport("refused", kStart);
    manager->processExistingActiveReportPath(refused, nullptr, true);
    drainWorkQueue();
    EXPECT_FALSE(exists(empty));
    EXPECT_TRUE(exists(refused));
    EXPECT_EQ(sent(), 0u);
    EXPECT_TRUE(logged("Data collection disabled and report will not be submitted"));
}

TEST_F(CRSExistingReportManagerTest, AnOnDemandReportIsUploadedUrgentlyOnTheWorkQueue) {
    auto manager = makeManager();
    storage_->answer = test::ScriptedStorage::Answer::Hold;
    manager->handleOnDemandReportUpload(makeReport("on-demand", kStart), token_, true);
    ASSERT_TRUE(storage_->waitForEvents(1));
    // The queue is held by the urgent upload until the transport answers.
    std::atomic<bool> later{false};
    workQueue_.async([&] { later = true; });
    EXPECT_FALSE(later);
    EXPECT_TRUE(exists(prepared("on-demand")));
    storage_->release(true);
    drainWorkQueue();
    EXPECT_TRUE(later);
    EXPECT_FALSE(exists(prepared("on-demand")));
}

TEST_F(CRSExistingReportManagerTest, DeletingRemovesEveryListedReportInEveryStage) {
    makeReport("active", kStart);
    makeReport("processing", kStart, true, fileManager_->processingPath());
    makeReport("prepared", kStart, true, fileManager_->preparedPath());
    auto manager = makeManager();
    manager->collectExistingReports();
    const std::string current = makeReport("this-launch", kStart + 100);  // made after listing

    manager->deleteUnsentReports();
    drainWorkQueue();
    EXPECT_FALSE(exists(active("active")));
    EXPECT_FALSE(exists(processing("processing")));
    EXPECT_FALSE(exists(prepared("prepared")));
    EXPECT_TRUE(exists(current));
    EXPECT_EQ(sent(), 0u);
}

}  // namespace
}  // namespace pex
