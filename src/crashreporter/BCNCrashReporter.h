#pragma once
// The crash SDK's entry object and public interface. The default application's component
// container builds the one instance when the application is configured; building it starts
// crash reporting for this launch (see CRSReportManager). Afterwards it is the facade through
// which the application logs, sets keys, records errors, decides about the unsent reports of
// earlier launches and switches data collection.
//
//   if (auto reporter = BCNCrashReporter::crashreporter()) reporter->log("opened a session");
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "beacon-core/BCNComponent.h"
#include "beacon-core/PRMPromise.h"
#include "crashreporter/rollouts/BCNRemoteConfigInterop.h"
#include "platform/foundation/Error.h"
#include "sessions/BCNSessionsSubscriber.h"

namespace pex {

class BCNAnalyticsInterop;
class BCNApp;
class BCNCrashReporterReport;
class BCNExceptionModel;
class BCNSessionsProvider;
class CRSAnalyticsManager;
class CRSDataCollectionArbiter;
class CRSExistingReportManager;
class CRSFileManager;
class CRSInstallations;
class CRSManagerData;
class CRSRemoteConfigManager;
class CRSReportManager;
class CRSReportUploader;

// The component protocol under which the container hands out the instance.
class BCNCrashReporterInstanceProvider : public BCNComponentObject {};

class BCNCrashReporter : public BCNCrashReporterInstanceProvider,
                         public BCNSessionsSubscriber,
                         public BCNRolloutsStateSubscriber,
                         public std::enable_shared_from_this<BCNCrashReporter> {
  public:
    static constexpr const char* kLibraryName = "beacon-crashreporter";

    static const BCNProtocol& instanceProviderProtocol();
    // The library as the application object registers it at load time.
    static BCNLibraryClass libraryClass();
    static std::vector<BCNComponent> componentsToRegister();
    // The default application's instance; none before it is configured.
    static std::shared_ptr<BCNCrashReporter> crashreporter();
    static void setDevelopmentPlatformName(const std::string& name);
    static void setDevelopmentPlatformVersion(const std::string& version);

    // What the application object does when the library is loaded: registers it, and has the
    // sessions component wait for this subscriber.
    static void registerLibrary();

    // Builds the managers, subscribes to `sessions` (when the application has them), hands
    // `analytics` (when it has that) to the managers that report to it, starts this launch's
    // crash reporting and subscribes to the rollouts of `remoteConfig` (when it has that); none for
    // a second instance in one process (the first one's work stays).
    static std::shared_ptr<BCNCrashReporter> create(
        std::shared_ptr<const BCNApp> app, const nlohmann::json& appInfo,
        std::shared_ptr<CRSInstallations> installations,
        std::shared_ptr<BCNSessionsProvider> sessions = nullptr,
        std::shared_ptr<BCNAnalyticsInterop> analytics = nullptr,
        std::shared_ptr<BCNRemoteConfigInterop> remoteConfig = nullptr);
    ~BCNCrashReporter() override;

    void log(const std::string& message);
    void logWithFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void setUserID(const std::optional<std::string>& userID);
    void setCustomValue(const nlohmann::json& value, const std::optional<std::string>& key);
    void setCustomKeysAndValues(const nlohmann::json& keysAndValues);
    void recordError(const Error& error, const nlohmann::json& userInfo = nullptr);
    // An exception the application describes itself (from another language runtime, say):
    // recorded as a non-fatal custom exception of this launch.
    void recordExceptionModel(const BCNExceptionModel& exceptionModel);
    // Recorded into a report of its own and uploaded at once (within the on-demand quota).
    void recordOnDemandExceptionModel(const BCNExceptionModel& exceptionModel);

    // Whether an unsent report waits; a second call (in one launch) always gets false.
    void checkForUnsentReportsWithCompletion(std::function<void(bool)> completion);
    void checkAndUpdateUnsentReportsWithCompletion(
        std::function<void(std::shared_ptr<BCNCrashReporterReport>)> completion);
    void sendUnsentReports();
    void deleteUnsentReports();
    void setCrashReporterCollectionEnabled(bool enabled);
    bool isCrashReporterCollectionEnabled() const;
    bool didCrashDuringPreviousExecution() const { return didPreviouslyCrash_; }

    void setDevelopmentPlatformNameValue(const std::string& name);
    void setDevelopmentPlatformVersionValue(const std::string& version);
    // Write-only: reading logs an error and gives nothing.
    std::optional<std::string> developmentPlatformName() const;
    std::optional<std::string> developmentPlatformVersion() const;

    // Sessions subscriber.
    void onSessionChanged(const BCNSessionDetails& session) override;
    bool isDataCollectionEnabled() const override { return isCrashReporterCollectionEnabled(); }
    SessionsSubscriberName sessionsSubscriberName() const override {
        return SessionsSubscriberName::CrashReporter;
    }

    // The remote-configuration component's latest assignments: kept for the error and
    // exception records, and written to this launch's report.
    void rolloutsStateDidChange(const BCNRolloutsState& state) override;

    // The start-up chain: settles once this launch's crash reporting has started and the old
    // reports have been handled (or the wait for the application's decision has begun).
    const PRMPromiseRef& contextInitPromise() const { return contextInitPromise_; }
    CRSReportManager& reportManager() { return *reportManager_; }

  private:
    BCNCrashReporter(std::shared_ptr<const BCNApp> app, const nlohmann::json& appInfo,
                     std::shared_ptr<CRSInstallations> installations,
                     std::shared_ptr<BCNAnalyticsInterop> analytics);
    void start();
    void subscribeToRollouts(const std::shared_ptr<BCNRemoteConfigInterop>& remoteConfig);
    // The rollouts text for error and exception records; none without a provider.
    std::optional<std::string> rolloutsText() const;
    void waitForContextInit(const std::string& text, std::function<void()> callback) const;

    bool didPreviouslyCrash_ = false;
    std::string beaconAppID_;
    std::shared_ptr<CRSDataCollectionArbiter> dataArbiter_;
    std::shared_ptr<CRSFileManager> fileManager_;
    std::shared_ptr<CRSManagerData> managerData_;
    std::shared_ptr<CRSReportUploader> reportUploader_;
    std::shared_ptr<CRSExistingReportManager> existingReportManager_;
    std::shared_ptr<CRSAnalyticsManager> analyticsManager_;
    std::unique_ptr<CRSReportManager> reportManager_;
    // None unless the application carries a remote-configuration component.
    std::shared_ptr<CRSRemoteConfigManager> remoteConfigManager_;
    PRMPromiseRef contextInitPromise_;
};

}  // namespace pex
