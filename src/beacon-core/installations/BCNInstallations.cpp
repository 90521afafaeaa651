#include "beacon-core/installations/BCNInstallations.h"

#include <cctype>
#include <vector>

#include "beacon-core/BCNApp.h"
#include "beacon-core/BCNComponentContainer.h"
#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsIDController.h"
#include "beacon-core/installations/BCNInstallationsLogging.h"
#include "platform/foundation/Exception.h"

namespace pex {

namespace {

constexpr std::size_t kAPIKeyLength = 39;

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& part : parts) out += (out.empty() ? "" : ", ") + part;
    return out;
}

[[noreturn]] void raiseInvalidOptions(const std::string& problem) {
    throw Exception(BCNInstallations::kExceptionName,
                    std::string(kBCNInstallationsLogService) + "[" +
                        BCNInstallationsMessageCode::kConfigurationInvalid +
                        "] Could not configure Beacon Installations due to invalid BeaconApp "
                        "options. " +
                        problem +
                        ". If you use BeaconServices-Info.plist please download the most recent "
                        "version from the Beacon Console. If you configure Beacon in code, please "
                        "make sure you specify all required parameters.");
}

bool isMissing(const std::optional<std::string>& value) {
    return !value || value->empty();
}

std::vector<BCNComponent> componentsToRegister() {
    return {BCNComponent(
        BCNInstallations::instanceProviderProtocol(), BCNInstantiationTimingAlwaysEager,
        [](BCNComponentContainer& container, bool& isCacheable) -> BCNComponentInstance {
            const auto app = container.app();
            if (!app) return nullptr;
            isCacheable = true;
            return std::make_shared<BCNInstallations>(*app);
        })};
}

const BCNLibraryRegistrar registrar({"BCNInstallations", componentsToRegister, nullptr},
                                    BCNInstallations::kLibraryName);

// Every error handed to a caller is of the installations domain.
ErrorRef publicError(const ErrorRef& error) {
    return BCNInstallationsErrorUtil::publicDomainErrorWithError(error);
}

}  // namespace

const BCNProtocol& BCNInstallations::instanceProviderProtocol() {
    static const BCNProtocol protocol =
        BCNProtocol::of<BCNInstallationsInstanceProvider>("BCNInstallationsInstanceProvider");
    return protocol;
}

std::shared_ptr<BCNInstallations> BCNInstallations::installationsWithApp(const BCNApp& app) {
    const auto container = app.container();
    if (!container) return nullptr;
    return BCNComponentType::instanceForProtocol<BCNInstallations>(instanceProviderProtocol(),
                                                                   *container);
}

std::shared_ptr<BCNInstallations> BCNInstallations::installations() {
    const auto app = BCNApp::defaultApp();
    if (!app) {
        throw Exception(
            kExceptionName,
            "The default BeaconApp instance must be configured before the defaultBeaconApp "
            "instance can be initialized. One way to ensure this is to call "
            "`BeaconApp.configure()` in the App  Delegate's "
            "`application(_:didFinishLaunchingWithOptions:)` (or the `@main` struct's "
            "initializer in SwiftUI).");
    }
    return installationsWithApp(*app);
}

BCNInstallations::BCNInstallations(const BCNApp& app)
    : BCNInstallations(app.options(), app.name(),
                       BCNInstallationsIDController::controllerWithApp(app), false) {}

BCNInstallations::BCNInstallations(
    const BCNOptions& appOptions, const std::string& appName,
    std::shared_ptr<BCNInstallationsIDController> installationsIDController, bool prefetchAuthToken)
    : appOptions_(
          (validateAppOptions(appOptions, appName), assertCompatibleIIDVersion(), appOptions)),
      appName_(appName),
      installationsIDController_(std::move(installationsIDController)) {
    if (prefetchAuthToken) authTokenWithCompletion([](auto, auto) {});
}

// ---- Option checks

void BCNInstallations::validateAppOptions(const BCNOptions& appOptions,
                                          const std::optional<std::string>& appName) {
    std::vector<std::string> missing;
    if (isMissing(appName)) missing.push_back("`BeaconApp.name`");
    if (isMissing(appOptions.APIKey())) missing.push_back("`BeaconOptions.APIKey`");
    if (isMissing(appOptions.beaconAppID())) missing.push_back("`BeaconOptions.beaconAppID`");
    if (isMissing(appOptions.projectID())) missing.push_back("`BeaconOptions.projectID`");
    if (!missing.empty())
        raiseInvalidOptions("The following parameters are nil or empty: " + joined(missing));
    validateAPIKey(appOptions.APIKey());
}

void BCNInstallations::validateAPIKey(const std::optional<std::string>& APIKey) {
    const std::string key = APIKey.value_or("");
    std::vector<std::string> problems;
    if (key.size() != kAPIKeyLength)
        problems.push_back("API Key length must be " + std::to_string(kAPIKeyLength) +
                           " characters");
    if (key.empty() || key.front() != 'A') problems.push_back("API Key must start with `A`");
    for (unsigned char c : key) {
        if (!std::isalnum(c) && c != '-' && c != '_') {
            problems.push_back("API Key must contain only base64 url-safe characters characters");
            break;
        }
    }
    if (!problems.empty())
        raiseInvalidOptions("`BeaconOptions.APIKey` doesn't match the expected format: " +
                            joined(problems));
}

void BCNInstallations::assertCompatibleIIDVersion() {
    // The older instance-ID SDK cannot share a process with installations: its classes never
    // declare that they use the installations service.
    if (!BCNApp::isClassRegistered("BCNInstanceID")) return;
    throw Exception(kExceptionName,
                    "Beacon Instance ID is not compatible with Beacon 8.x+. Please remove the "
                    "dependency from the app. See the documentation: " +
                        std::string(BCNApp::kConsoleAddress));
}

// ---- Public operations

void BCNInstallations::installationIDWithCompletion(IDCompletion completion) {
    installationsIDController_->getInstallationItem()
        ->then([completion](const PRMValue& value) -> PRMValue {
            const auto* item = value.as<BCNInstallationsItem>();
            if (completion) completion(item ? item->beaconInstallationID : std::nullopt, nullptr);
            return PRMValue();
        })
        ->catchError([completion](const ErrorRef& error) {
            if (completion) completion(std::nullopt, publicError(error));
        });
}

void BCNInstallations::authTokenWithCompletion(AuthTokenCompletion completion) {
    authTokenForcingRefresh(false, std::move(completion));
}

void BCNInstallations::authTokenForcingRefresh(bool forceRefresh, AuthTokenCompletion completion) {
    installationsIDController_->getAuthTokenForcingRefresh(forceRefresh)
        ->then([completion](const PRMValue& value) -> PRMValue {
            const auto* item = value.as<BCNInstallationsItem>();
            std::optional<BCNInstallationsAuthTokenResult> result;
            if (item)
                result = BCNInstallationsAuthTokenResult{
                    item->authToken.token().value_or(""),
                    item->authToken.expirationDate().value_or(BCNDate())};
            if (completion) completion(result, nullptr);
            return PRMValue();
        })
        ->catchError([completion](const ErrorRef& error) {
            if (completion) completion(std::nullopt, publicError(error));
        });
}

void BCNInstallations::deleteWithCompletion(DeleteCompletion completion) {
    installationsIDController_->deleteInstallation()
        ->then([completion](const PRMValue&) -> PRMValue {
            if (completion) completion(nullptr);
            return PRMValue();
        })
        ->catchError([completion](const ErrorRef& error) {
            if (completion) completion(publicError(error));
        });
}

}  // namespace pex
