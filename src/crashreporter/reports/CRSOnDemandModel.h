#pragma once
// Rations on-demand exceptions: each one accepted gets a report of its own at once and is
// handed on for upload (or kept back while data collection is off), at most
// `onDemandUploadRate` at a time. Uploads are spaced by a delay that grows exponentially while
// the quota is exhausted and shrinks when it is not; exceptions dropped for want of quota are
// counted, and the counts go into the next report.
//
// Times are seconds on the current Clock. Create the model in a shared pointer: each accepted
// exception's upload step keeps it alive until it has run. Without settings the defaults apply.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "crashreporter/BCNExceptionModel.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class CRSExistingReportManager;
class CRSFileManager;
class CRSSettings;

class CRSOnDemandModel : public std::enable_shared_from_this<CRSOnDemandModel> {
  public:
    static constexpr double kMaxUploadDelaySeconds = 3600;
    static constexpr double kMaxStep = 100;
    // Reports kept back while data collection is off; older ones are deleted.
    static constexpr std::size_t kMaxStoredReports = 4;

    CRSOnDemandModel(std::shared_ptr<const CRSSettings> settings,
                     std::shared_ptr<const CRSFileManager> fileManager);

    const std::shared_ptr<const CRSSettings>& settings() const { return settings_; }
    const std::shared_ptr<const CRSFileManager>& fileManager() const { return fileManager_; }

    // Records `exception` into a new report when the quota allows and schedules its upload
    // through `existingReportManager` (collection on) or keeps it back (collection off). False
    // when it was dropped or could not be recorded. The manager is held weakly: one that is
    // gone leaves the report for the next launch.
    bool recordOnDemandExceptionIfQuota(
        const BCNExceptionModel& exception, bool dataCollectionEnabled,
        const std::shared_ptr<CRSExistingReportManager>& existingReportManager);
    // The new report's folder, or nothing.
    std::optional<std::string> recordOnDemandExceptionWithModel(const BCNExceptionModel& exception);

    // Seconds to wait after an upload: 60 / rate × base ^ step, within [0, 3600].
    double calculateUploadDelay();
    // Moves the back-off exponent by the steps elapsed since it last changed: up while the
    // queue is full (at most 100), down otherwise (at least 0). The first call starts at 0.
    double calculateStepDuration();
    // Holds the calling thread for `seconds` on the current Clock.
    void implementOnDemandUploadDelay(int seconds) const;
    bool isQueueFull() const;

    int recordedOnDemandExceptionCount() const;
    int droppedOnDemandExceptionCount() const;
    int getQueuedOperationsCount() const;
    void setRecordedOnDemandExceptionCount(int count);
    void setDroppedOnDemandExceptionCount(int count);
    void setQueuedOperationsCount(int count);
    void incrementRecordedExceptionCount();
    void decrementRecordedExceptionCount();
    void incrementDroppedExceptionCount();
    void decrementDroppedExceptionCount();
    void resetDroppedExceptionCount();
    void incrementQueuedOperationCount();
    void decrementQueuedOperationCount();

    double lastUpdated() const;
    void setLastUpdated(double seconds);
    double currentStep() const;
    void setCurrentStep(double step);
    // Newest first. The manager of unsent reports sends them all and then empties the list.
    std::vector<std::string> storedActiveReportPaths() const;
    void setStoredActiveReportPaths(std::vector<std::string> paths);
    // The stored paths, leaving the list empty.
    std::vector<std::string> takeStoredActiveReportPaths();
    const DispatchQueue& dispatchQueue() const { return dispatchQueue_; }

    // Now on the current Clock, in seconds.
    static double now();

  private:
    void runUploadOperation(const std::string& path, bool dataCollectionEnabled,
                            const std::weak_ptr<CRSExistingReportManager>& existingReportManager);
    void storeReportPath(const std::string& path);
    double uploadRate() const;
    double backoffBase() const;
    double backoffStepDuration() const;

    const std::shared_ptr<const CRSSettings> settings_;
    const std::shared_ptr<const CRSFileManager> fileManager_;
    const DispatchQueue dispatchQueue_;
    // Guards every field below; held across the whole acceptance of an exception.
    mutable std::recursive_mutex lock_;
    int recordedOnDemandExceptionCount_ = 0;
    int droppedOnDemandExceptionCount_ = 0;
    int queuedOperationsCount_ = 0;
    double lastUpdated_;
    double currentStep_ = -1.0;
    std::vector<std::string> storedActiveReportPaths_;
};

}  // namespace pex
