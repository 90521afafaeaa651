#pragma once
// The reports that earlier runs left on disk. At start it lists them, throws away those
// without events and all but the newest four, and keeps the lists for the rest of the run;
// later it sends them (through the report uploader) or deletes them, as the start-up decides.
// Every deletion and every non-urgent upload goes through the crash reporter's serial work
// queue, so none of them overlap.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "crashreporter/CRSDataCollectionToken.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class BCNCrashReporterReport;
class CRSDataCollectionArbiter;
class CRSFileManager;
class CRSInternalReport;
class CRSOnDemandModel;
class CRSReportUploader;
class CRSSettings;

class CRSExistingReportManager : public std::enable_shared_from_this<CRSExistingReportManager> {
  public:
    // At most this many unsent reports with events are kept; older ones are deleted, whatever
    // the data-collection state, so the disk cannot fill up.
    static constexpr std::size_t kMaxUnsentReports = 4;

    // `operationQueue` is the crash reporter's serial work queue. `onDemandModel` may be
    // missing.
    CRSExistingReportManager(std::shared_ptr<const CRSFileManager> fileManager,
                             std::shared_ptr<CRSReportUploader> reportUploader,
                             DispatchQueue operationQueue,
                             std::shared_ptr<const CRSSettings> settings,
                             std::shared_ptr<CRSDataCollectionArbiter> dataArbiter,
                             std::shared_ptr<CRSOnDemandModel> onDemandModel);
    CRSExistingReportManager(const CRSExistingReportManager&) = delete;
    CRSExistingReportManager& operator=(const CRSExistingReportManager&) = delete;

    // Lists "active" (keeping what `getUnsentActiveReportsAndDeleteEmptyOrOld` keeps),
    // "processing" and "prepared", before this run's own report exists.
    void collectExistingReports();
    // The paths of the newest four reports with events, newest first. Reports without events
    // and the older ones are removed on the work queue.
    std::vector<std::string> getUnsentActiveReportsAndDeleteEmptyOrOld(
        const std::vector<std::string>& paths);

    // Sends every listed report and the stored on-demand ones.
    void sendUnsentReportsWithToken(const CRSDataCollectionTokenRef& token, bool urgent);
    // Urgent with a valid token: processed and uploaded before this returns. Otherwise queued.
    void processExistingActiveReportPath(const std::string& path,
                                         const CRSDataCollectionTokenRef& token, bool urgent);
    // An on-demand report, processed urgently on the work queue. Hold the manager in a shared
    // pointer: the queued work keeps it alive.
    void handleOnDemandReportUpload(const std::string& path, const CRSDataCollectionTokenRef& token,
                                    bool urgent);
    // Removes every listed report (active, processing, prepared) on the work queue.
    void deleteUnsentReports();

    std::uint64_t unsentReportsCount() const;
    // The newest kept report, for the application; nothing when there is none.
    std::shared_ptr<BCNCrashReporterReport> newestUnsentReport() const;
    std::shared_ptr<CRSInternalReport> newestInternalReport() const;

    const std::shared_ptr<CRSDataCollectionArbiter>& dataArbiter() const { return dataArbiter_; }
    const std::shared_ptr<CRSOnDemandModel>& onDemandModel() const { return onDemandModel_; }

    std::vector<std::string> existingUnemptyActiveReportPaths() const;
    std::vector<std::string> processingReportPaths() const;
    std::vector<std::string> preparedReportPaths() const;

  private:
    void removeOnWorkQueue(std::vector<std::string> paths) const;

    const std::shared_ptr<const CRSFileManager> fileManager_;
    const std::shared_ptr<CRSReportUploader> reportUploader_;
    const DispatchQueue operationQueue_;
    const std::shared_ptr<const CRSSettings> settings_;
    const std::shared_ptr<CRSDataCollectionArbiter> dataArbiter_;
    const std::shared_ptr<CRSOnDemandModel> onDemandModel_;

    mutable std::mutex mutex_;  // guards the lists and the newest report
    std::vector<std::string> existingUnemptyActiveReportPaths_;
    std::vector<std::string> processingReportPaths_;
    std::vector<std::string> preparedReportPaths_;
    std::shared_ptr<CRSInternalReport> newestInternalReport_;
};

}  // namespace pex
