#include "crashreporter/CRSReportManager.h"

#include <chrono>

#include "crashreporter/CRSAnalyticsManager.h"
#include "crashreporter/CRSContextManager.h"
#include "crashreporter/CRSDataCollectionArbiter.h"
#include "crashreporter/CRSDataCollectionToken.h"
#include "crashreporter/CRSExistingReportManager.h"
#include "crashreporter/CRSManagerData.h"
#include "crashreporter/CRSReportAction.h"
#include "crashreporter/network/CRSApplicationIdentifierModel.h"
#include "crashreporter/network/CRSSettingsManager.h"
#include "crashreporter/reports/CRSExecutionIdentifierModel.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/runtime/CRSException.h"
#include "crashreporter/runtime/CRSHandler.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSSignal.h"
#include "crashreporter/runtime/CRSUserLogging.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/ReferenceDate.h"

namespace pex {

namespace {

constexpr double kHandlerCheckDelaySeconds = 2.0;

// Seconds since 2001-01-01 00:00:00 UTC, the settings cache's clock.
double secondsSinceReferenceDate() {
    return ReferenceDate::secondsSinceNow();
}

// A moment of this launch as the report's key-values carry it: milliseconds since the Unix
// epoch, as text.
std::string wallClockMillisText() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

PRMValue boolean(bool value) {
    return PRMValue::box(value);
}

bool booleanValue(const PRMValue& value) {
    const bool* flag = value.as<bool>();
    return flag != nullptr && *flag;
}

}  // namespace

CRSReportManager::CRSReportManager(CRSManagerData& managerData,
                                   CRSExistingReportManager& existingReportManager,
                                   CRSAnalyticsManager& analyticsManager)
    : managerData_(managerData),
      existingReportManager_(existingReportManager),
      analyticsManager_(analyticsManager),
      launchMarker_(*managerData.fileManager),
      unsentReportsAvailable_(PRMPromise::pendingPromise()),
      reportActionProvided_(PRMPromise::pendingPromise()),
      unsentReportsHandled_(PRMPromise::pendingPromise()) {
    if (managerData.appIDModel) {
        settingsManager_ = CRSSettingsManager::create(
            managerData.appIDModel, managerData.installIDModel, managerData.settings,
            managerData.fileManager, managerData.beaconAppID);
    }
    managerData.settings->reloadFromCacheWithBeaconAppID(managerData.beaconAppID,
                                                         secondsSinceReferenceDate());
}

CRSReportManager::~CRSReportManager() = default;

PRMPromiseRef CRSReportManager::startWithProfiling() {
    const std::string kitStartTime = wallClockMillisText();
    const std::string executionIdentifier = managerData_.executionIDModel->executionID();

    // Earlier runs' reports are listed before anything of this run exists.
    existingReportManager_.collectExistingReports();

    if (!validateAppIdentifiers()) return PRMPromise::resolvedWith(boolean(false));
    if (!managerData_.fileManager->createReportDirectories()) {
        return PRMPromise::resolvedWith(boolean(false));
    }

    const bool launchFailed = launchMarker_.checkForAndCreateLaunchMarker();

    std::shared_ptr<CRSInternalReport> report = setupCurrentReport(executionIdentifier);
    if (!report) CRSErrorLog("Unable to setup a new report");

    const bool reportPresent = report != nullptr;
    const DispatchQueue queue = managerData_.dispatchQueue;
    PRMPromiseRef started = startCrashReporterWithProfilingReport(report)->then(
        queue, [report, kitStartTime](const PRMValue& value) mutable {
            if (!booleanValue(value)) {
                CRSErrorLog("Unable to start crash reporter");
                report.reset();
                return boolean(false);
            }
            CRSUserLoggingQueue().async([kitStartTime] {
                CRSUserLoggingWriteInternalKeyValue("com.crashreporter.kit-start-time",
                                                    kitStartTime);
            });
            return boolean(true);
        });

    PRMPromiseRef handled;
    if (managerData_.dataArbiter->isCrashReporterCollectionEnabled()) {
        CRSDebugLog("Automatic data collection is enabled.");
        CRSDebugLog("Unsent reports will be uploaded at startup");
        const auto token = CRSDataCollectionToken::validToken();
        beginSettingsWithToken(token);
        handled = started->then(queue, [this](const PRMValue&) { return waitForMetricKitData(); })
                      ->then(queue, [this, token, launchFailed, reportPresent](const PRMValue&) {
                          beginReportUploadsWithToken(token, launchFailed);
                          unsentReportsAvailable_->fulfill(PRMValue());
                          return boolean(reportPresent);
                      });
    } else {
        CRSDebugLog("Automatic data collection is disabled.");
        CRSDebugLog("[CrashReporter:Crash] " +
                    std::to_string(existingReportManager_.unsentReportsCount()) +
                    " unsent reports are available. Waiting for send/deleteUnsentReports to be "
                    "called.");
        handled = started
                      ->then(queue,
                             [this, queue](const PRMValue&) {
                                 return PRMValue(PRMPromise::all(
                                     queue, {waitForReportAction(), waitForMetricKitData()}));
                             })
                      ->then(queue, [this, reportPresent](const PRMValue& results) {
                          const int action = results.array().empty()
                                                 ? -1
                                                 : reportActionValue(results.array().front());
                          switch (action) {
                              case CRSReportActionSend: {
                                  CRSDebugLog("Sending unsent reports.");
                                  const auto token = CRSDataCollectionToken::validToken();
                                  beginSettingsWithToken(token);
                                  beginReportUploadsWithToken(token, false);
                                  break;
                              }
                              case CRSReportActionDelete:
                                  CRSDebugLog("Deleting unsent reports.");
                                  existingReportManager_.deleteUnsentReports();
                                  break;
                              default:
                                  CRSErrorLog("Unknown report action: " + std::to_string(action));
                          }
                          return boolean(reportPresent);
                      });
    }

    // The work queue is serial: this runs after every report operation queued before it.
    const PRMPromiseRef handledHere = unsentReportsHandled_;
    return handled->then(queue, [queue, handledHere](const PRMValue& value) {
        const PRMPromiseRef drained = PRMPromise::pendingPromise();
        queue.async([drained] { drained->fulfill(PRMValue()); });
        return PRMValue(drained->then(DispatchQueue::main(), [handledHere, value](const PRMValue&) {
            handledHere->fulfill(PRMValue());
            return value;
        }));
    });
}

PRMPromiseRef CRSReportManager::checkForUnsentReports() {
    bool expected = false;
    if (!checkForUnsentReportsCalled_.compare_exchange_strong(expected, true)) {
        CRSErrorLog(
            "Either checkForUnsentReports or checkAndUpdateUnsentReports should be called once "
            "per execution.");
        return PRMPromise::resolvedWith(PRMValue());
    }
    return unsentReportsAvailable_;
}

PRMPromiseRef CRSReportManager::sendUnsentReports() {
    reportActionProvided_->fulfill(wrappedReportAction(CRSReportActionSend));
    return unsentReportsHandled_;
}

PRMPromiseRef CRSReportManager::deleteUnsentReports() {
    reportActionProvided_->fulfill(wrappedReportAction(CRSReportActionDelete));
    return unsentReportsHandled_;
}

PRMPromiseRef CRSReportManager::waitForReportAction() {
    auto unsent = existingReportManager_.newestUnsentReport();
    unsentReportsAvailable_->fulfill(unsent ? PRMValue::box(unsent) : PRMValue());
    PRMPromiseRef enabled = managerData_.dataArbiter->waitForCrashReporterCollectionEnabled()->then(
        managerData_.dispatchQueue,
        [](const PRMValue&) { return wrappedReportAction(CRSReportActionSend); });
    return PRMPromise::race(managerData_.dispatchQueue, {enabled, reportActionProvided_});
}

PRMPromiseRef CRSReportManager::waitForMetricKitData() {
    // No diagnostic data is awaited on this platform.
    return PRMPromise::resolvedWith(PRMValue());
}

void CRSReportManager::beginSettingsWithToken(
    const std::shared_ptr<const CRSDataCollectionToken>& token) {
    if (!managerData_.settings->isCacheExpired() || !settingsManager_) return;
    // Once per process, even when both start-up and a later send ask for settings.
    static std::atomic<bool> downloaded{false};
    bool expected = false;
    if (!downloaded.compare_exchange_strong(expected, true)) return;
    settingsManager_->beginSettingsWithBeaconAppId(managerData_.beaconAppID, token);
}

void CRSReportManager::beginReportUploadsWithToken(
    const std::shared_ptr<const CRSDataCollectionToken>& token, bool blockingSend) {
    if (managerData_.settings->collectReportsEnabled()) {
        existingReportManager_.sendUnsentReportsWithToken(token, blockingSend);
    } else {
        CRSInfoLog("Collect crash reports is disabled");
        existingReportManager_.deleteUnsentReports();
    }
}

PRMPromiseRef CRSReportManager::startCrashReporterWithProfilingReport(
    const std::shared_ptr<CRSInternalReport>& report) {
    if (!report) return PRMPromise::resolvedWith(boolean(false));
    const PRMPromiseRef context = managerData_.contextManager->setupContextWithReport(
        report, managerData_.settings, managerData_.fileManager,
        managerData_.installIDModel ? managerData_.installIDModel->installID() : std::string());
    if (!context) return PRMPromise::resolvedWith(boolean(false));
    return context->then(DispatchQueue::main(), [this](const PRMValue&) {
        notificationManager_.registerNotificationListener();
        analyticsManager_.registerAnalyticsListener();
        crashReportingSetupCompleted();
        return boolean(true);
    });
}

void CRSReportManager::crashReportingSetupCompleted() {
    // Another library may have replaced the handlers since; there is no Mach exception port to
    // check on this platform.
    const auto checkHandlers = [] {
        CRSExceptionCheckHandlers();
        CRSSignalCheckHandlers();
    };
    const auto delay = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(kHandlerCheckDelaySeconds));
    DispatchQueue::main().asyncAfter(delay, checkHandlers);
    DispatchQueue::main().async([this] {
        // The launch has reached its first run-loop turn.
        launchMarker_.removeLaunchFailureMarker();
        CRSUserLoggingQueue().async([firstRunLoopTime = wallClockMillisText()] {
            CRSUserLoggingWriteInternalKeyValue("com.crashreporter.first-run-loop-time",
                                                firstRunLoopTime);
        });
    });
}

bool CRSReportManager::validateAppIdentifiers() const {
    if (!managerData_.appIDModel) {
        CRSErrorLog(
            "CrashReporter could not find the symbol for the app's main function and cannot "
            "start up. This can be resolved 2 ways depending on your setup:\n 1. If you have "
            "Exported Symbols File set in your Build Settings, add \"__mh_execute_header\" as a "
            "newline in your Exported Symbols File.\n 2. If you have -exported_symbols_list in "
            "your linker flags, remove it.");
        return false;
    }
    if (managerData_.appIDModel->bundleID().empty()) {
        CRSErrorLog("An application must have a valid bundle identifier in its Info.plist");
        return false;
    }
    if (managerData_.dataArbiter->isLegacyDataCollectionKeyInPlist()) {
        CRSErrorLog(
            "Found legacy data collection key in app's Info.plist: "
            "beacon_crashreporter_collection_enabled");
        CRSErrorLog(
            "Please update your Info.plist to use the new data collection key: "
            "BeaconCrashReporterCollectionEnabled");
        CRSErrorLog(
            "The legacy data collection Info.plist value could be overridden by calling: "
            "[CrashReporterLegacy with:...]");
        CRSErrorLog(
            "The new value can be overridden by calling: [[BCNCrashReporter crashreporter] "
            "setCrashReporterCollectionEnabled:<isEnabled>]");
        return false;
    }
    return true;
}

std::shared_ptr<CRSInternalReport> CRSReportManager::setupCurrentReport(
    const std::string& executionIdentifier) {
    launchMarker_.createLaunchFailureMarker();
    const std::optional<std::string> path =
        managerData_.fileManager->setupNewPathForExecutionIdentifier(executionIdentifier);
    if (!path) return nullptr;
    return std::make_shared<CRSInternalReport>(*path, executionIdentifier);
}

}  // namespace pex
