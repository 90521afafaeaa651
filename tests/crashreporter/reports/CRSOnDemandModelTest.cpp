#include "crashreporter/reports/CRSOnDemandModel.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/runtime/ActiveReportFixture.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

// Stands for the manager of unsent reports: notes each report handed over.
class RecordingHandler : public CRSOnDemandReportHandler {
  public:
    void handleOnDemandReportUpload(const std::string& path, bool asUrgent) override {
        std::lock_guard guard(lock_);
        paths_.push_back(path);
        urgent_ = urgent_ && asUrgent;
    }
    std::vector<std::string> paths() const {
        std::lock_guard guard(lock_);
        return paths_;
    }
    bool allUrgent() const {
        std::lock_guard guard(lock_);
        return urgent_;
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::string> paths_;
    bool urgent_ = true;
};

class CRSOnDemandModelTest : public test::ActiveReportTest {
  protected:
    void SetUp() override {
        startContext();
        // Recording with every thread stopped is covered by the exception tests.
        useSettings({{"on_demand_thread_recording_suspension_enabled", false}});
    }
    void TearDown() override { drain(); }

    void useSettings(nlohmann::json values) { settings_.setSettingsDictionary(std::move(values)); }

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

    bool record(const std::string& name, bool collectionEnabled = true) {
        return model_->recordOnDemandExceptionIfQuota(BCNExceptionModel(name, "reason"),
                                                      collectionEnabled, handler_);
    }

    ScopedManualClock clock_;
    CRSSettings settings_{fileManager_, CRSSettingsBuildIdentity{"build", "1.0"}};
    std::shared_ptr<CRSOnDemandModel> model_ =
        std::make_shared<CRSOnDemandModel>(settings_, fileManager_);
    std::shared_ptr<RecordingHandler> handler_ = std::make_shared<RecordingHandler>();
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
        double fullDelay;  // after a long time with the queue full
    } cases[] = {
        {{{"on_demand_upload_rate_per_minute", 1}, {"on_demand_backoff_base", 10}}, 60, 3600},
        // Values that would divide by zero, raise to a power that is not a number or never
        // advance fall back to their defaults.
        {{{"on_demand_upload_rate_per_minute", 0},
          {"on_demand_backoff_base", std::nan("")},
          {"on_demand_backoff_step_duration_seconds", 0}},
         6,
         3600},
        {{{"on_demand_upload_rate_per_minute", 1e-300}}, 3600, 3600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.dump());
        useSettings(c.settings);
        model_->setCurrentStep(-1);
        model_->setQueuedOperationsCount(0);
        EXPECT_EQ(model_->calculateUploadDelay(), c.firstDelay);
        model_->setQueuedOperationsCount(1'000'000);
        clock_.clock().advance(std::chrono::hours(24));
        EXPECT_EQ(model_->calculateUploadDelay(), c.fullDelay);
        EXPECT_EQ(model_->currentStep(), CRSOnDemandModel::kMaxStep);
    }
    model_->setQueuedOperationsCount(0);
}

TEST_F(CRSOnDemandModelTest, AnExceptionBeyondTheQuotaIsDroppedAndCounted) {
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(record("e" + std::to_string(i)));
    EXPECT_EQ(model_->getQueuedOperationsCount(), 10);
    EXPECT_FALSE(record("eleventh"));
    EXPECT_EQ(model_->recordedOnDemandExceptionCount(), 11);
    EXPECT_EQ(model_->droppedOnDemandExceptionCount(), 1);
    // Ten new reports beside the active one.
    EXPECT_EQ(fileManager_.activePathContents().size(), 11u);

    drain();
    EXPECT_EQ(handler_->paths().size(), 10u);
    EXPECT_TRUE(handler_->allUrgent());
    // The next report carries the counts as they stood, then the dropped count starts again.
    ASSERT_TRUE(record("after"));
    ASSERT_TRUE(record("later"));
    drain();
    const auto paths = handler_->paths();
    ASSERT_EQ(paths.size(), 12u);
    EXPECT_EQ(onDemandCounters(paths[10]), (std::vector<std::string>{"11", "1"}));
    EXPECT_EQ(onDemandCounters(paths[11]), (std::vector<std::string>{"12", "0"}));
}

TEST_F(CRSOnDemandModelTest, WhileCollectionIsOffTheNewestFourReportsAreKept) {
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(record("e" + std::to_string(i), false));
    drain();
    EXPECT_TRUE(handler_->paths().empty());
    const auto stored = model_->storedActiveReportPaths();
    ASSERT_EQ(stored.size(), CRSOnDemandModel::kMaxStoredReports);
    for (const auto& path : stored) EXPECT_TRUE(fs::exists(path)) << path;
    // The oldest one's folder is gone and it counts as dropped.
    EXPECT_EQ(fileManager_.activePathContents().size(), 5u);
    EXPECT_EQ(model_->recordedOnDemandExceptionCount(), 4);
    EXPECT_EQ(model_->droppedOnDemandExceptionCount(), 1);
    // Newest first.
    EXPECT_EQ(onDemandCounters(stored.front()), (std::vector<std::string>{"4", "0"}));
    EXPECT_EQ(onDemandCounters(stored.back()), (std::vector<std::string>{"1", "0"}));
}

}  // namespace
}  // namespace pex
