#include "crashreporter/CRSReportUploader.h"

#include <condition_variable>
#include <filesystem>

#include "BeaconTransport/TXPLibrary/TXPTransport.h"
#include "crashreporter/CRSAnalyticsManager.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSInstallIdentifierModel.h"
#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/reports/CRSProcessReportOperation.h"
#include "crashreporter/reports/CRSReportAdapter.h"
#include "crashreporter/reports/CRSSymbolResolver.h"
#include "crashreporter/reports/protos/crs_report.pb.h"
#include "crashreporter/runtime/CRSApplication.h"
#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/Clock.h"

namespace pex {

namespace fs = std::filesystem;

namespace {

// The packaged report as the transport's payload.
class CRSReportEventData : public TXPEventDataObject {
  public:
    explicit CRSReportEventData(const std::vector<std::uint8_t>& bytes)
        : bytes_(bytes.begin(), bytes.end()) {}
    std::string transportBytes() const override { return bytes_; }

  private:
    std::string bytes_;
};

// Where an urgent upload waits for the transport's answer, or for its time limit on the
// process's clock. Armed before the event is sent, so the limit counts from the send.
class CRSTransportWait : public std::enable_shared_from_this<CRSTransportWait> {
  public:
    void arm(std::chrono::nanoseconds limit) {
        clock_ = Clock::current();
        timer_ = clock_->schedule(clock_->now() + limit,
                                  [self = shared_from_this()] { self->expire(); });
    }
    void finish() {
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    // True when the transport answered, false when the time limit came first.
    bool wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return finished_ || expired_; });
        const bool answered = finished_;
        lock.unlock();
        clock_->cancel(timer_);
        return answered;
    }

  private:
    void expire() {
        std::lock_guard lock(mutex_);
        expired_ = true;
        changed_.notify_all();
    }

    std::shared_ptr<Clock> clock_;
    Clock::TimerId timer_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool finished_ = false;
    bool expired_ = false;
};

double secondsSince1970(const CRSInternalReport::Date& date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

}  // namespace

CRSReportUploader::CRSReportUploader(DispatchQueue operationQueue, std::string beaconAppID,
                                     std::shared_ptr<TXPTransport> beaconTransport,
                                     std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
                                     std::shared_ptr<const CRSFileManager> fileManager,
                                     std::shared_ptr<BCNAnalyticsInterop> analytics)
    : operationQueue_(std::move(operationQueue)),
      beaconAppID_(std::move(beaconAppID)),
      beaconTransport_(std::move(beaconTransport)),
      installIDModel_(std::move(installIDModel)),
      fileManager_(std::move(fileManager)),
      analytics_(std::move(analytics)) {}

std::optional<std::string> CRSReportUploader::fiid() const {
    std::lock_guard lock(installationMutex_);
    return fiid_;
}

std::optional<std::string> CRSReportUploader::authToken() const {
    std::lock_guard lock(installationMutex_);
    return authToken_;
}

void CRSReportUploader::prepareAndSubmitReport(const std::shared_ptr<CRSInternalReport>& report,
                                               const CRSDataCollectionTokenRef& token, bool urgent,
                                               bool processing) {
    if (!CRSDataCollectionToken::isValid(token)) {
        CRSErrorLog("Data collection disabled and report will not be submitted");
        return;
    }
    if (!report) return;
    CRSApplicationActivity(kCRSActivityOptionsNoTermination, kCRSReportProcessingActivityReason,
                           [&] { submitPreparedReport(report, token, urgent, processing); });
}

void CRSReportUploader::submitPreparedReport(const std::shared_ptr<CRSInternalReport>& given,
                                             const CRSDataCollectionTokenRef& token, bool urgent,
                                             bool processing) {
    if (urgent) {
        CRSWarningLog(
            "CrashReporter skipped rotating the Install ID during urgent mode because it is run "
            "on the main thread, which can't succeed. This can happen if the app crashed the last "
            "run and CrashReporter is uploading urgently.");
    } else if (installIDModel_) {
        installIDModel_->regenerateInstallIDIfNeededWithBlock(
            [this](const std::string& fid, const std::string& authToken) {
                std::lock_guard lock(installationMutex_);
                fiid_ = fid;
                authToken_ = authToken;
            });
    }

    std::shared_ptr<CRSInternalReport> report = given;
    if (processing) {
        if (!fileManager_->moveItemAtPath(report->path(), fileManager_->processingPath())) {
            CRSErrorLog("Unable to move report for processing");
            return;
        }
        report = std::make_shared<CRSInternalReport>(
            (fs::path(fileManager_->processingPath()) / report->directoryName()).string(),
            report->identifier());
        CRSProcessReportOperation(report, std::make_shared<CRSSymbolResolver>()).main();
    }

    const bool wasCrash = report->isCrash();
    // Read before the folder moves on and, once sent, goes away.
    const std::optional<CRSInternalReport::Date> crashedOn =
        wasCrash ? report->crashedOnDate() : std::nullopt;

    if (!fileManager_->moveItemAtPath(report->path(), fileManager_->preparedPath())) {
        CRSErrorLog("Unable to move report to prepared");
        return;
    }
    const std::string packagedPath =
        (fs::path(fileManager_->preparedPath()) / fs::path(report->path()).filename()).string();
    CRSInfoLog("[Beacon/CrashReporter] Packaged report with id '" + report->identifier() +
               "' for submission");

    uploadPackagedReportAtPath(packagedPath, token, urgent);

    if (wasCrash) {
        const double seconds = crashedOn ? secondsSince1970(*crashedOn) : 0;
        CRSAnalyticsManager::logCrashWithTimeStamp(seconds, analytics_);
    }
}

void CRSReportUploader::uploadPackagedReportAtPath(const std::string& path,
                                                   const CRSDataCollectionTokenRef& token,
                                                   bool urgent) {
    CRSDebugLog(std::string("Submitting report ") + (urgent ? "urgently" : "async"));
    if (!CRSDataCollectionToken::isValid(token)) {
        CRSErrorLog("A report upload was requested with an invalid data collection token.");
        return;
    }

    const std::string reportName = fs::path(path).filename().string();
    const CRSReportAdapter adapter(path, beaconAppID_, installIDModel_.get(), fiid(), authToken());
    const std::vector<std::uint8_t> bytes = adapter.transportBytes();
    // A message that failed to encode, or that carries none of the report's files, would be
    // stored in the report's place and the report removed: it stays packaged for a later try.
    if (bytes.empty() || adapter.report().apple_payload.files_count == 0) {
        CRSErrorLog("Report " + reportName +
                    " encodes to an empty message; it stays prepared and is not sent");
        return;
    }
    TXPEvent event = beaconTransport_->eventForTransport();
    event.setDataObject(std::make_shared<CRSReportEventData>(bytes));
    event.setQosTier(TXPEventTierImmediate);

    const auto wait = std::make_shared<CRSTransportWait>();
    if (urgent) wait->arm(kUrgentTransportTimeout);
    beaconTransport_->sendDataEvent(event, [wait, path, reportName, fileManager = fileManager_](
                                               bool written, ErrorRef error) {
        if (written && !error) {
            CRSInfoLog("Completed report submission with id: " + reportName);
            cleanUpSubmittedReportAtPath(*fileManager, path);
        } else if (written) {
            CRSErrorLog("Failed to send crash report due to BeaconTransport error: " +
                        error->localizedDescription());
        } else {
            CRSErrorLog("Failed to send crash report due to failure writing BeaconTransport event");
        }
        // Released only once the packaged report is gone, so the caller sees the outcome.
        wait->finish();
    });
    if (!urgent) return;
    if (!wait->wait()) {
        CRSErrorLog("BeaconTransport did not store report " + reportName + " within " +
                    std::to_string(kUrgentTransportTimeout.count()) +
                    " seconds; it stays prepared for a later launch");
    }
}

bool CRSReportUploader::cleanUpSubmittedReportAtPath(const std::string& path) const {
    return cleanUpSubmittedReportAtPath(*fileManager_, path);
}

bool CRSReportUploader::cleanUpSubmittedReportAtPath(const CRSFileManager& fileManager,
                                                     const std::string& path) {
    if (!fileManager.removeItemAtPath(path)) {
        CRSErrorLog("Unable to remove packaged submission");
        return false;
    }
    return true;
}

}  // namespace pex
