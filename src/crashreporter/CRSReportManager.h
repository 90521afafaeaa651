#pragma once
// One start-up flow per launch: take stock of the reports earlier runs left, check that the
// application can be identified, prepare the report folders, note whether the last launch died
// before its first run-loop turn, open this launch's report, start the crash context (handlers
// included, unless a debugger is attached), then either fetch settings and send the old reports
// at once (collection on) or wait until the application decides what to do with them.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "beacon-core/PRMPromise.h"
#include "crashreporter/CRSNotificationManager.h"
#include "crashreporter/reports/CRSLaunchMarkerModel.h"

namespace pex {

class CRSAnalyticsManager;
class CRSDataCollectionToken;
class CRSExistingReportManager;
class CRSInternalReport;
class CRSManagerData;
class CRSSettingsManager;

class CRSReportManager {
  public:
    // `managerData`, `existingReportManager` and `analyticsManager` outlive the manager.
    CRSReportManager(CRSManagerData& managerData, CRSExistingReportManager& existingReportManager,
                     CRSAnalyticsManager& analyticsManager);
    ~CRSReportManager();

    // The flow; called once, on the main thread. Fulfilled with a Boolean: false when crash
    // reporting could not start. It settles only once the old reports have been handled.
    PRMPromiseRef startWithProfiling();

    // The newest unsent report (or nothing) once start-up has listed them; only the first call
    // gets it, later ones a promise already fulfilled with nothing.
    PRMPromiseRef checkForUnsentReports();
    PRMPromiseRef sendUnsentReports();
    PRMPromiseRef deleteUnsentReports();

    PRMPromiseRef waitForReportAction();
    PRMPromiseRef waitForMetricKitData();
    void beginSettingsWithToken(const std::shared_ptr<const CRSDataCollectionToken>& token);
    void beginReportUploadsWithToken(const std::shared_ptr<const CRSDataCollectionToken>& token,
                                     bool blockingSend);
    PRMPromiseRef startCrashReporterWithProfilingReport(
        const std::shared_ptr<CRSInternalReport>& report);
    void crashReportingSetupCompleted();
    bool validateAppIdentifiers() const;
    std::shared_ptr<CRSInternalReport> setupCurrentReport(const std::string& executionIdentifier);

    const CRSLaunchMarkerModel& launchMarker() const { return launchMarker_; }
    const PRMPromiseRef& unsentReportsHandled() const { return unsentReportsHandled_; }

  private:
    CRSManagerData& managerData_;
    CRSExistingReportManager& existingReportManager_;
    CRSAnalyticsManager& analyticsManager_;
    std::shared_ptr<CRSSettingsManager> settingsManager_;
    CRSNotificationManager notificationManager_;
    CRSLaunchMarkerModel launchMarker_;
    const PRMPromiseRef unsentReportsAvailable_;
    const PRMPromiseRef reportActionProvided_;
    const PRMPromiseRef unsentReportsHandled_;
    std::atomic<bool> checkForUnsentReportsCalled_{false};
};

}  // namespace pex
