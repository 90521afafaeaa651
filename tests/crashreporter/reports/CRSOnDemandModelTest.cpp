#include "crashreporter/reports/CRSOnDemandModel.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "crashreporter/CRSExistingReportManager.h"
#include "crashreporter/CRSReportUploader.h"
#include "crashreporter/CrashReporterFixture.h"
#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/runtime/ActiveReportFixture.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

class CRSOnDemandModelTest : public test::CrashReporterTest {
  protected:
    void SetUp() override {
        test::startActiveReportContext(*fileManager_);
        // Recording with every thread stopped is covered by the exception tests.
        useSettings({{"on_demand_thread_recording_suspension_enabled", false}});
    }
    void TearDown() override { drain(); }

    void useSettings(nlohmann::json values) { settings_->setSettingsDictionary(std::move(values)); }

    // Lets every accepted upload step run to its end, moving the clock through their delays.
    void drain() {
        for (int i = 0; i < 20000 && model_->getQueuedOperationsCount() > 0; ++i) {
            if (clock_.clock().pendingCount() > 0) {
                clock_.clock().advance(std::chrono::hours(1));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        ASSERT_EQ(model_->getQueuedOperationsCount(), 0);
    }

    std::size_t sent() const { return storage_->stored().size(); }

    bool record(const std::string& name, bool collectionEnabled = true) {
        return model_->recordOnDemandExceptionIfQuota(BCNExceptionModel(name, "reason"),
                                                      collectionEnabled, manager_);
    }

    ScopedManualClock clock_;
    std::shared_ptr<CRSSettings> settings_ =
        std::make_shared<CRSSettings>(*fileManager_, CRSSettingsBuildIdentity{"build", "1.0"});
    std::shared_ptr<CRSOnDemandModel> model_ =
        std::make_shared<CRSOnDemandModel>(settings_, fileManager_);
    std::shared_ptr<test::ScriptedStorage> storage_ = std::make_shared<test::ScriptedStorage>();
    std::shared_ptr<CRSExistingReportManager> manager_ = std::make_shared<CRSExistingReportManager>(
        fileManager_,
        std::make_shared<CRSReportUploader>(workQueue_, "1:2:linux:3", transportInto(storage_),
                                            nullptr, fileManager_, nullptr),
        workQueue_, settings_, nullptr, model_);
};

TEST_F(CRSOnDemandModelTest, TheBackOffGrowsWhileTheQueueIsFullAndShrinksAfter) {
    // The first delay starts the clock: step 0, 60 / rate.
    EXPECT_EQ(model_->calculateUploadDelay(), 6.0);
    EXPECT_EQ(model_->currentStep(), 0.0);

    model_->setQueuedOperationsCount(10);
    clock_.clock().advance(std::chrono::seconds(12));
    EXPECT_DOUBLE_EQ(model_->calculateUploadDelay(), 6.0 * 1.5 * 1.5);
    EXPECT_DOUBLE_EQ(model_->currentStep(), 2.0);

    model_->setQueuedOperationsCount(3);
    clock_.clock().advance(std::chrono::seconds(3));
    EXPECT_DOUBLE_EQ(model_->calculateStepDuration(), 1.5);
    clock_.clock().advance(std::chrono::seconds(60));
    EXPECT_EQ(model_->calculateStepDuration(), 0.0);
    model_->setQueuedOperationsCount(0);
}

TEST_F(CRSOnDemandModelTest, TheDelayStaysWithinAnHourWhateverTheSettings) {
    const struct {
        nlohmann::json settings;
        double firstDelay;
    } cases[] = {
        {{{"on_demand_upload_rate_per_minute", 1}, {"on_demand_backoff_base", 10}}, 60},
        // Values that would divide by zero, raise to a power that is not a number or never
        // advance fall back to their defaults.
        {{{"on_demand_upload_rate_per_minute", 0},
          {"on_demand_backoff_base", std::nan("")},
          {"on_demand_backoff_step_duration_seconds", 0}},
         6},
        {{{"on_demand_upload_rate_per_minute", 1e-300}}, 3600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.dump());
        useSettings(c.settings);
        model_->setCurrentStep(-1);
        model_->setQueuedOperationsCount(0);
        EXPECT_EQ(model_->calculateUploadDelay(), c.firstDelay);
        // A day with the queue full: the exponent reaches its cap, the delay an hour.
        model_->setQueuedOperationsCount(1'000'000);
        clock_.clock().advance(std::chrono::hours(24));
        EXPECT_EQ(model_->calculateUploadDelay(), CRSOnDemandModel::kMaxUploadDelaySeconds);
        EXPECT_EQ(model_->currentStep(), CRSOnDemandModel::kMaxStep);
    }
    model_->setQueuedOperationsCount(0);
    // Without settings the defaults apply.
    auto bare = std::make_shared<CRSOnDemandModel>(nullptr, fileManager_);
    EXPECT_EQ(bare->calculateUploadDelay(), 6.0);
}

TEST_F(CRSOnDemandModelTest, AnExceptionBeyondTheQuotaIsDroppedAndCountedTheOthersAreSent) {
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(record("e" + std::to_string(i)));
    EXPECT_EQ(model_->getQueuedOperationsCount(), 10);
    EXPECT_FALSE(record("eleventh"));
    EXPECT_EQ(model_->recordedOnDemandExceptionCount(), 11);
    EXPECT_EQ(model_->droppedOnDemandExceptionCount(), 1);

    drain();
    // Each accepted report was processed and handed to the transport at once.
    ASSERT_TRUE(storage_->waitForEvents(10));
    drainWorkQueue();
    EXPECT_EQ(sent(), 10u);
    // The next report carries the counts as they stood, then the dropped count starts again.
    ASSERT_TRUE(record("after", false));
    ASSERT_TRUE(record("later", false));
    drain();
    const auto stored = model_->storedActiveReportPaths();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(test::onDemandCounters(stored[1]), (std::vector<std::string>{"11", "1"}));
    EXPECT_EQ(test::onDemandCounters(stored[0]), (std::vector<std::string>{"12", "0"}));
}

TEST_F(CRSOnDemandModelTest, WhileCollectionIsOffTheNewestFourReportsAreKeptForTheNextSend) {
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(record("e" + std::to_string(i), false));
    drain();
    const auto stored = model_->storedActiveReportPaths();
    ASSERT_EQ(stored.size(), CRSOnDemandModel::kMaxStoredReports);
    for (const auto& path : stored) EXPECT_TRUE(fs::exists(path)) << path;
    // The oldest one's folder is gone and it counts as dropped.
    EXPECT_EQ(fileManager_->activePathContents().size(), 5u);
    EXPECT_EQ(model_->recordedOnDemandExceptionCount(), 4);
    EXPECT_EQ(model_->droppedOnDemandExceptionCount(), 1);
    // Newest first.
    EXPECT_EQ(test::onDemandCounters(stored.front()), (std::vector<std::string>{"4", "0"}));
    EXPECT_EQ(test::onDemandCounters(stored.back()), (std::vector<std::string>{"1", "0"}));
    EXPECT_EQ(sent(), 0u);

    // Once collection is on, sending the unsent reports takes them along.
    manager_->sendUnsentReportsWithToken(CRSDataCollectionToken::validToken(), false);
    drainWorkQueue();
    ASSERT_TRUE(storage_->waitForEvents(4)) << ::testing::PrintToString(log_.lines());
    EXPECT_TRUE(model_->storedActiveReportPaths().empty());
}

}  // namespace
}  // namespace pex
