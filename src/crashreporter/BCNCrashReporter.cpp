#include "crashreporter/BCNCrashReporter.h"

#include <cstdarg>
#include <cstdio>

#include "BeaconTransport/TXPLibrary/TXPTransport.h"
#include "beacon-core/BCNAnalyticsInterop.h"
#include "beacon-core/BCNApp.h"
#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/BCNComponentContainer.h"
#include "beacon-core/BCNLogger.h"
#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "crashreporter/BCNCrashReporterReport.h"
#include "crashreporter/CRSAnalyticsManager.h"
#include "crashreporter/CRSBeaconInstallations.h"
#include "crashreporter/CRSContextManager.h"
#include "crashreporter/CRSDataCollectionArbiter.h"
#include "crashreporter/CRSExistingReportManager.h"
#include "crashreporter/CRSManagerData.h"
#include "crashreporter/CRSReportManager.h"
#include "crashreporter/CRSReportUploader.h"
#include "crashreporter/network/CRSApplicationIdentifierModel.h"
#include "crashreporter/reports/CRSExecutionIdentifierModel.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSOnDemandModel.h"
#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/rollouts/CRSRemoteConfigManager.h"
#include "crashreporter/rollouts/CRSRolloutsPersistenceManager.h"
#include "crashreporter/runtime/CRSException.h"
#include "crashreporter/runtime/CRSHost.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSUserLogging.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DispatchQueue.h"
#include "sessions/BCNSessionsDependencies.h"
#include "sessions/BCNSessionsProvider.h"

namespace pex {

namespace {

constexpr const char* kUserIDKey = "com.crashreporter.user-id";
constexpr const char* kDevelopmentPlatformNameKey = "com.crashreporter.development-platform-name";
constexpr const char* kDevelopmentPlatformVersionKey =
    "com.crashreporter.development-platform-version";

// One instance per process: the crash context, its handlers and the report folder of a launch
// exist once.
std::atomic<std::uint8_t> instanceCreated{0};

std::string formatted(const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace

const BCNProtocol& BCNCrashReporter::instanceProviderProtocol() {
    static const BCNProtocol protocol =
        BCNProtocol::of<BCNCrashReporterInstanceProvider>("BCNCrashReporterInstanceProvider");
    return protocol;
}

BCNLibraryClass BCNCrashReporter::libraryClass() {
    return {"BCNCrashReporter", &BCNCrashReporter::componentsToRegister, nullptr};
}

std::vector<BCNComponent> BCNCrashReporter::componentsToRegister() {
    return {BCNComponent(
        instanceProviderProtocol(), BCNInstantiationTimingEagerInDefaultApp,
        [](BCNComponentContainer& container, bool& isCacheable) -> BCNComponentInstance {
            const std::shared_ptr<BCNApp> app = container.app();
            if (!app || !app->isDefaultApp()) {
                CRSErrorLog("CrashReporter must be used with the default Beacon app.");
                return nullptr;
            }
            // Sessions and analytics are optional: without them those reports are not made.
            auto sessions = BCNComponentType::instanceForProtocol<BCNSessionsProvider>(
                BCNSessionsProvider::protocol(), container);
            auto analytics = BCNComponentType::instanceForProtocol<BCNAnalyticsInterop>(
                BCNAnalyticsInterop::protocol(), container);
            auto remoteConfig = BCNComponentType::instanceForProtocol<BCNRemoteConfigInterop>(
                BCNRemoteConfigInterop::protocol(), container);
            auto installations = CRSBeaconInstallations::installationsWithApp(*app);
            isCacheable = true;
            return create(app, Bundle::main().info(), std::move(installations), std::move(sessions),
                          std::move(analytics), std::move(remoteConfig));
        })};
}

std::shared_ptr<BCNCrashReporter> BCNCrashReporter::crashreporter() {
    const std::shared_ptr<BCNApp> app = BCNApp::defaultApp();
    if (!app) return nullptr;
    const auto container = app->container();
    if (!container) return nullptr;
    return BCNComponentType::instanceForProtocol<BCNCrashReporter>(instanceProviderProtocol(),
                                                                   *container);
}

void BCNCrashReporter::setDevelopmentPlatformName(const std::string& name) {
    if (auto reporter = crashreporter()) reporter->setDevelopmentPlatformNameValue(name);
}

void BCNCrashReporter::setDevelopmentPlatformVersion(const std::string& version) {
    if (auto reporter = crashreporter()) reporter->setDevelopmentPlatformVersionValue(version);
}

void BCNCrashReporter::registerLibrary() {
    BCNApp::registerInternalLibrary(libraryClass(), kLibraryName);
    BCNSessionsDependencies::addDependencyWithName(SessionsSubscriberName::CrashReporter);
}

std::shared_ptr<BCNCrashReporter> BCNCrashReporter::create(
    std::shared_ptr<const BCNApp> app, const nlohmann::json& appInfo,
    std::shared_ptr<CRSInstallations> installations, std::shared_ptr<BCNSessionsProvider> sessions,
    std::shared_ptr<BCNAnalyticsInterop> analytics,
    std::shared_ptr<BCNRemoteConfigInterop> remoteConfig) {
    std::uint8_t expected = 0;
    if (!instanceCreated.compare_exchange_strong(expected, 1)) {
        CRSErrorLog("Cannot instantiate more than one instance of CrashReporter.");
        return nullptr;
    }
    std::shared_ptr<BCNCrashReporter> reporter(new BCNCrashReporter(
        std::move(app), appInfo, std::move(installations), std::move(analytics)));
    if (sessions) {
        CRSDebugLog("Registering Sessions SDK subscription for session data");
        sessions->registerWithSubscriber(reporter);
    }
    reporter->start();
    if (remoteConfig) reporter->subscribeToRollouts(remoteConfig);
    return reporter;
}

void BCNCrashReporter::subscribeToRollouts(
    const std::shared_ptr<BCNRemoteConfigInterop>& remoteConfig) {
    CRSDebugLog("Registering RemoteConfig SDK subscription for rollouts data");
    auto persistence = std::make_shared<CRSRolloutsPersistenceManager>(
        fileManager_, DispatchQueue::serial("com.beacon.CRSRolloutsPersistence"));
    remoteConfigManager_ =
        std::make_shared<CRSRemoteConfigManager>(remoteConfig, std::move(persistence));
    remoteConfig->registerRolloutsStateSubscriber(
        weak_from_this(), BCNRemoteConfigConstants::kNamespaceBeaconMobilePlatform);
}

void BCNCrashReporter::rolloutsStateDidChange(const BCNRolloutsState& state) {
    if (!remoteConfigManager_) {
        CRSDebugLog("rolloutsStateDidChange gets called without init the rc manager.");
        return;
    }
    remoteConfigManager_->updateRolloutsStateWithRolloutsState(
        state, managerData_->executionIDModel->executionID());
}

std::optional<std::string> BCNCrashReporter::rolloutsText() const {
    if (!remoteConfigManager_) return std::nullopt;
    return remoteConfigManager_->getRolloutAssignmentsEncodedJsonString();
}

BCNCrashReporter::BCNCrashReporter(std::shared_ptr<const BCNApp> app, const nlohmann::json& appInfo,
                                   std::shared_ptr<CRSInstallations> installations,
                                   std::shared_ptr<BCNAnalyticsInterop> analytics) {
    std::fprintf(stderr, "[Beacon/CrashReporter] Version %s\n", BCNBeaconVersion().c_str());
    CRSDebugLog("[CrashReporter] Running on " + UTLAppEnvironmentUtil::deviceModel() + ", " +
                CRSHostOSDisplayVersion() + " (" + CRSHostOSBuildVersion().value_or("") + ")");

    auto transport = TXPTransport::make(kCRSReportMappingID, {}, kCRSReportTarget);
    fileManager_ = std::make_shared<CRSFileManager>();
    beaconAppID_ = app->options().beaconAppID().value_or("");
    dataArbiter_ = std::make_shared<CRSDataCollectionArbiter>(app, appInfo);

    std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel;
    if (auto model = CRSApplicationIdentifierModel::create()) {
        appIDModel = std::make_shared<const CRSApplicationIdentifierModel>(std::move(*model));
    }
    auto settings = std::make_shared<CRSSettings>(
        *fileManager_, appIDModel ? appIDModel->buildIdentity() : CRSSettingsBuildIdentity{});
    auto onDemandModel = std::make_shared<CRSOnDemandModel>(settings, fileManager_);
    managerData_ = std::make_shared<CRSManagerData>(
        beaconAppID_, transport, std::move(installations), analytics, fileManager_, dataArbiter_,
        settings, onDemandModel, appIDModel);

    const CRSManagerData& data = *managerData_;
    reportUploader_ = std::make_shared<CRSReportUploader>(
        data.dispatchQueue, beaconAppID_, transport, data.installIDModel, fileManager_, analytics);
    existingReportManager_ = std::make_shared<CRSExistingReportManager>(
        fileManager_, reportUploader_, data.dispatchQueue, settings, dataArbiter_, onDemandModel);
    analyticsManager_ = std::make_shared<CRSAnalyticsManager>(analytics);
    reportManager_ = std::make_unique<CRSReportManager>(*managerData_, *existingReportManager_,
                                                        *analyticsManager_);
}

void BCNCrashReporter::start() {
    // The marker covers exactly one following launch.
    didPreviouslyCrash_ = fileManager_->didCrashOnPreviousExecution();
    if (didPreviouslyCrash_) {
        const std::shared_ptr<CRSFileManager> fileManager = fileManager_;
        DispatchQueue::global(QualityOfService::Background).async([fileManager] {
            fileManager->removeItemAtPath(fileManager->rootPath() + "/previously-crashed");
        });
    }

    contextInitPromise_ = reportManager_->startWithProfiling()->then([](const PRMValue& value) {
        const bool* started = value.as<bool>();
        if (started == nullptr || !*started)
            CRSErrorLog("Crash reporting could not be initialized");
        return value;
    });
    contextInitPromise_->catchError([](const ErrorRef& error) {
        BCNLogError(kBCNLoggerCore, kCRSLogMessageCode,
                    "Crash reporting failed to initialize with error: %@",
                    error ? error->description() : std::string("(null)"));
    });
}

BCNCrashReporter::~BCNCrashReporter() = default;

void BCNCrashReporter::log(const std::string& message) {
    CRSLog("%s", message.c_str());
}

void BCNCrashReporter::logWithFormat(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string message = formatted(format, arguments);
    va_end(arguments);
    log(message);
}

void BCNCrashReporter::setUserID(const std::optional<std::string>& userID) {
    CRSUserLoggingRecordInternalKeyValue(std::string(kUserIDKey),
                                         userID ? nlohmann::json(*userID) : nlohmann::json());
}

void BCNCrashReporter::setCustomValue(const nlohmann::json& value,
                                      const std::optional<std::string>& key) {
    CRSUserLoggingRecordUserKeyValue(key, value);
}

void BCNCrashReporter::setCustomKeysAndValues(const nlohmann::json& keysAndValues) {
    CRSUserLoggingRecordUserKeysAndValues(keysAndValues);
}

void BCNCrashReporter::recordError(const Error& error, const nlohmann::json& userInfo) {
    CRSUserLoggingRecordError(&error, userInfo, rolloutsText());
}

void BCNCrashReporter::recordExceptionModel(const BCNExceptionModel& exceptionModel) {
    CRSExceptionRecordModel(exceptionModel, rolloutsText());
}

void BCNCrashReporter::recordOnDemandExceptionModel(const BCNExceptionModel& exceptionModel) {
    managerData_->onDemandModel->recordOnDemandExceptionIfQuota(
        exceptionModel, dataArbiter_->isCrashReporterCollectionEnabled(), existingReportManager_);
}

void BCNCrashReporter::checkForUnsentReportsWithCompletion(std::function<void(bool)> completion) {
    reportManager_->checkForUnsentReports()->then([completion](const PRMValue& value) {
        if (completion) completion(!value.isNull());
        return PRMValue();
    });
}

void BCNCrashReporter::checkAndUpdateUnsentReportsWithCompletion(
    std::function<void(std::shared_ptr<BCNCrashReporterReport>)> completion) {
    reportManager_->checkForUnsentReports()->then([completion](const PRMValue& value) {
        const auto* report = value.as<std::shared_ptr<BCNCrashReporterReport>>();
        if (completion) completion(report ? *report : nullptr);
        return PRMValue();
    });
}

void BCNCrashReporter::sendUnsentReports() {
    reportManager_->sendUnsentReports();
}

void BCNCrashReporter::deleteUnsentReports() {
    reportManager_->deleteUnsentReports();
}

void BCNCrashReporter::setCrashReporterCollectionEnabled(bool enabled) {
    dataArbiter_->setCrashReporterCollectionEnabled(enabled);
}

bool BCNCrashReporter::isCrashReporterCollectionEnabled() const {
    return dataArbiter_->isCrashReporterCollectionEnabled();
}

void BCNCrashReporter::setDevelopmentPlatformNameValue(const std::string& name) {
    waitForContextInit(name, [name] {
        CRSUserLoggingRecordInternalKeyValue(std::string(kDevelopmentPlatformNameKey), name);
    });
}

void BCNCrashReporter::setDevelopmentPlatformVersionValue(const std::string& version) {
    waitForContextInit(version, [version] {
        CRSUserLoggingRecordInternalKeyValue(std::string(kDevelopmentPlatformVersionKey), version);
    });
}

std::optional<std::string> BCNCrashReporter::developmentPlatformName() const {
    CRSErrorLog("developmentPlatformName is write-only");
    return std::nullopt;
}

std::optional<std::string> BCNCrashReporter::developmentPlatformVersion() const {
    CRSErrorLog("developmentPlatformVersion is write-only");
    return std::nullopt;
}

void BCNCrashReporter::onSessionChanged(const BCNSessionDetails& session) {
    const std::string sessionId = session.sessionId().value_or("");
    CRSDebugLog("Session ID changed: " + sessionId);
    managerData_->contextManager->setAppQualitySessionId(sessionId);
}

void BCNCrashReporter::waitForContextInit(const std::string& text,
                                          std::function<void()> callback) const {
    if (!contextInitPromise_) {
        CRSErrorLog("CrashReporter method called before SDK was initialized: " + text);
        return;
    }
    contextInitPromise_->then([callback](const PRMValue& value) {
        callback();
        return value;
    });
}

}  // namespace pex
