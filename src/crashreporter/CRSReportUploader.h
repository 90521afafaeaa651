#pragma once
// Turns one report folder into a telemetry event: moves it from "active" through "processing"
// (symbolicated there) to "prepared", packages it as the crash report message, hands it to the
// telemetry transport (mapping id "1206", target 1002, immediate tier) and removes the packaged
// folder once the transport has stored the event. A failure leaves the folder where it got to,
// for a later launch to pick up.
//
// Urgent work runs on the caller's thread, skips the install identifier's rotation (it can
// block for a while) and waits for the transport, at most `kUrgentTransportTimeout` on the
// process's clock; other work does not wait.
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "beacon-core/BCNAnalyticsInterop.h"
#include "crashreporter/CRSDataCollectionToken.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class CRSFileManager;
class CRSInstallIdentifierModel;
class CRSInternalReport;
class TXPTransport;

inline constexpr char kCRSReportMappingID[] = "1206";
inline constexpr std::int64_t kCRSReportTarget = 1002;
inline constexpr char kCRSReportProcessingActivityReason[] =
    "CrashReporter Crash Report Processing";

class CRSReportUploader {
  public:
    // Long enough for the transport to write one event to disk many times over; short enough
    // that a start-up waiting on a stuck transport still finishes.
    static constexpr std::chrono::seconds kUrgentTransportTimeout{30};

    // `operationQueue` is the crash reporter's serial work queue. `installIDModel` and
    // `analytics` may be missing.
    CRSReportUploader(DispatchQueue operationQueue, std::string beaconAppID,
                      std::shared_ptr<TXPTransport> beaconTransport,
                      std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
                      std::shared_ptr<const CRSFileManager> fileManager,
                      std::shared_ptr<BCNAnalyticsInterop> analytics);
    CRSReportUploader(const CRSReportUploader&) = delete;
    CRSReportUploader& operator=(const CRSReportUploader&) = delete;

    // With `processing`, the report is moved to "processing" and symbolicated first; without,
    // it is packaged as it stands (a report found in "processing" at start).
    void prepareAndSubmitReport(const std::shared_ptr<CRSInternalReport>& report,
                                const CRSDataCollectionTokenRef& token, bool urgent,
                                bool processing);
    // Sends the packaged report at `path`. Urgent: returns once the transport has answered,
    // or after `kUrgentTransportTimeout` (the report then stays in "prepared").
    void uploadPackagedReportAtPath(const std::string& path, const CRSDataCollectionTokenRef& token,
                                    bool urgent);
    bool cleanUpSubmittedReportAtPath(const std::string& path) const;
    static bool cleanUpSubmittedReportAtPath(const CRSFileManager& fileManager,
                                             const std::string& path);

    const DispatchQueue& operationQueue() const { return operationQueue_; }
    const std::string& beaconAppID() const { return beaconAppID_; }
    std::optional<std::string> fiid() const;
    std::optional<std::string> authToken() const;

  private:
    void submitPreparedReport(const std::shared_ptr<CRSInternalReport>& report,
                              const CRSDataCollectionTokenRef& token, bool urgent, bool processing);

    const DispatchQueue operationQueue_;
    const std::string beaconAppID_;
    const std::shared_ptr<TXPTransport> beaconTransport_;
    const std::shared_ptr<CRSInstallIdentifierModel> installIDModel_;
    const std::shared_ptr<const CRSFileManager> fileManager_;
    const std::shared_ptr<BCNAnalyticsInterop> analytics_;
    mutable std::mutex installationMutex_;
    std::optional<std::string> fiid_;       // guarded by installationMutex_
    std::optional<std::string> authToken_;  // guarded by installationMutex_
};

}  // namespace pex
