#include "beacon-core/installations/BCNInstallationsIDController.h"

#include <chrono>

#include "beacon-core/BCNApp.h"
#include "beacon-core/installations/BCNInstallationsBackoffController.h"
#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsHTTPError.h"
#include "beacon-core/installations/BCNInstallationsLogging.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

namespace {

using Cache = BCNInstallationsSingleOperationPromiseCache;
using Status = BCNInstallationsRegistrationStatus;

const BCNInstallationsItem& itemOf(const PRMValue& value) {
    const auto* item = value.as<BCNInstallationsItem>();
    // Every step of these chains fulfils with an item; anything else is a programming error.
    if (!item)
        raiseAssertionFailure("An installation item was expected.", __func__, __FILE__, __LINE__);
    return *item;
}

PRMPromiseRef fulfilledWithItem(const BCNInstallationsItem& item) {
    return PRMPromise::resolvedWith(PRMValue::box(item));
}

// An absent token or one with less than the threshold left is refreshed.
bool needsRefresh(const BCNInstallationsStoredAuthToken& token) {
    const auto expiration = token.expirationDate();
    if (!expiration) return true;
    const auto threshold = std::chrono::duration_cast<BCNDate::duration>(
        std::chrono::duration<double>(BCNInstallationsIDController::kTokenExpirationThreshold));
    return *expiration - std::chrono::system_clock::now() < threshold;
}

long HTTPStatusOf(const ErrorRef& error) {
    const auto* HTTPError = dynamic_cast<const BCNInstallationsHTTPError*>(error.get());
    return HTTPError ? HTTPError->HTTPResponse().statusCode : 0;
}

// What a cache handler answers when its controller is already gone.
PRMPromiseRef controllerGone() {
    return BCNInstallationsErrorUtil::rejectedPromiseWithError(
        BCNInstallationsErrorUtil::installationsErrorWithCode(
            BCNInstallationsErrorUtil::kErrorCodeUnknown, "The installations controller is gone.",
            nullptr));
}

}  // namespace

// ---- Creation

std::string BCNInstallationsIDController::keychainServiceWithAppID(const std::string& appID) {
    return BCNInstallationsStore::keychainServiceForAppID(appID);
}

std::shared_ptr<BCNInstallationsIDController> BCNInstallationsIDController::controllerWithApp(
    const BCNApp& app) {
    const BCNOptions options = app.options();
    const std::string appID = options.beaconAppID().value_or("");
    auto storage = std::make_shared<UTLKeychainStorage>(keychainServiceWithAppID(appID));
    return create(
        appID, app.name(),
        std::make_shared<BCNInstallationsStore>(std::move(storage), options.appGroupID()),
        std::make_shared<BCNInstallationsIIDStore>(),
        std::make_shared<BCNInstallationsIIDTokenStore>(options.PushSenderID().value_or("")),
        std::make_shared<BCNInstallationsAPIService>(
            options.APIKey().value_or(""), options.projectID().value_or(""), app.heartbeatLogger()),
        std::make_shared<BCNInstallationsBackoffController>());
}

std::shared_ptr<BCNInstallationsIDController> BCNInstallationsIDController::create(
    std::string appID, std::string appName,
    std::shared_ptr<BCNInstallationsStore> installationsStore,
    std::shared_ptr<BCNInstallationsIIDStore> IIDStore,
    std::shared_ptr<BCNInstallationsIIDTokenStore> IIDTokenStore,
    std::shared_ptr<BCNInstallationsAPIService> APIService,
    std::shared_ptr<BCNInstallationsBackoffControllerProtocol> backoffController) {
    auto controller = std::make_shared<BCNInstallationsIDController>(
        PrivateTag{}, std::move(appID), std::move(appName), std::move(installationsStore),
        std::move(IIDStore), std::move(IIDTokenStore), std::move(APIService),
        std::move(backoffController));
    const std::weak_ptr<BCNInstallationsIDController> weak = controller;
    controller->getInstallationPromiseCache_ = std::make_unique<Cache>([weak] {
        auto self = weak.lock();
        return self ? self->createGetInstallationItemPromise() : controllerGone();
    });
    controller->authTokenPromiseCache_ = std::make_unique<Cache>([weak] {
        auto self = weak.lock();
        return self ? self->installationWithValidAuthTokenForcingRefresh(false, true)
                    : controllerGone();
    });
    controller->authTokenForcingRefreshPromiseCache_ = std::make_unique<Cache>([weak] {
        auto self = weak.lock();
        return self ? self->installationWithValidAuthTokenForcingRefresh(true, true)
                    : controllerGone();
    });
    controller->deleteInstallationPromiseCache_ = std::make_unique<Cache>([weak] {
        auto self = weak.lock();
        return self ? self->createDeleteInstallationPromise() : controllerGone();
    });
    return controller;
}

BCNInstallationsIDController::BCNInstallationsIDController(
    PrivateTag, std::string appID, std::string appName,
    std::shared_ptr<BCNInstallationsStore> installationsStore,
    std::shared_ptr<BCNInstallationsIIDStore> IIDStore,
    std::shared_ptr<BCNInstallationsIIDTokenStore> IIDTokenStore,
    std::shared_ptr<BCNInstallationsAPIService> APIService,
    std::shared_ptr<BCNInstallationsBackoffControllerProtocol> backoffController)
    : appID_(std::move(appID)),
      appName_(std::move(appName)),
      installationsStore_(std::move(installationsStore)),
      IIDStore_(std::move(IIDStore)),
      IIDTokenStore_(std::move(IIDTokenStore)),
      APIService_(std::move(APIService)),
      backoffController_(std::move(backoffController)) {}

bool BCNInstallationsIDController::isDefaultApp() const {
    return appName_ == BCNApp::kDefaultAppName;
}

// ---- Operations

PRMPromiseRef BCNInstallationsIDController::getInstallationItem() {
    return getInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

PRMPromiseRef BCNInstallationsIDController::getAuthTokenForcingRefresh(bool forceRefresh) {
    if (forceRefresh)
        return authTokenForcingRefreshPromiseCache_->getExistingPendingOrCreateNewPromise();
    // A plain request made while a forced refresh runs receives the forced refresh's result.
    if (auto forcing = authTokenForcingRefreshPromiseCache_->getExistingPendingPromise())
        return forcing;
    return authTokenPromiseCache_->getExistingPendingOrCreateNewPromise();
}

PRMPromiseRef BCNInstallationsIDController::deleteInstallation() {
    return deleteInstallationPromiseCache_->getExistingPendingOrCreateNewPromise();
}

// ---- Getting or creating the installation

PRMPromiseRef BCNInstallationsIDController::createGetInstallationItemPromise() {
    BCNLogDebug(kBCNInstallationsLogService, BCNInstallationsMessageCode::kGetInstallation,
                "%s, appName: %@",
                "-[BCNInstallationsIDController createGetInstallationItemPromise]", appName_);
    auto self = shared_from_this();
    PRMPromiseRef installation =
        getStoredInstallation()->recover([self](const ErrorRef& error) -> PRMValue {
            // Only a missing (or unusable) record makes a new installation. When the keychain
            // cannot be read, the stored identity may well be there: replacing it would lose
            // the installation for good, so the operation fails instead.
            if (!self->isInstallationNotFoundError(error)) return error;
            return self->createAndSaveFID();
        });
    // The installation is handed out at once; registration and the first token follow in
    // the background.
    installation->then([self](const PRMValue&) -> PRMValue {
        self->getAuthTokenForcingRefresh(false);
        return PRMValue();
    });
    return installation;
}

PRMPromiseRef BCNInstallationsIDController::getStoredInstallation() {
    auto self = shared_from_this();
    return installationsStore_->installationForAppID(appID_, appName_)
        ->recover([self](const ErrorRef& error) -> PRMValue {
            // A record that cannot be read back as an installation is as good as none.
            if (error && error->domain() == UTLKeychainStorage::kArchiveErrorDomain)
                return BCNInstallationsErrorUtil::installationItemNotFoundForAppID(self->appID_,
                                                                                   self->appName_);
            return error;
        })
        ->then([self](const PRMValue& value) -> PRMValue {
            ErrorRef validationError;
            if (itemOf(value).isValid(&validationError)) return value;
            BCNLogWarning(kBCNInstallationsLogService,
                          BCNInstallationsMessageCode::kStoredInstallationInvalid,
                          "Stored installation validation error: %@",
                          validationError ? validationError->description() : "(null)");
            return BCNInstallationsErrorUtil::installationItemNotFoundForAppID(self->appID_,
                                                                               self->appName_);
        });
}

bool BCNInstallationsIDController::isInstallationNotFoundError(const ErrorRef& error) const {
    if (!error || error->domain() != BCNInstallationsErrorUtil::kErrorDomain) return false;
    const ErrorRef notFound =
        BCNInstallationsErrorUtil::installationItemNotFoundForAppID(appID_, appName_);
    return error->code() == notFound->code() && error->failureReason() == notFound->failureReason();
}

PRMPromiseRef BCNInstallationsIDController::createAndSaveFID() {
    auto self = shared_from_this();
    return migrateOrGenerateInstallation()->then([self](const PRMValue& value) -> PRMValue {
        const BCNInstallationsItem installation = itemOf(value);
        return self->saveInstallation(installation)->then([self](const PRMValue& saved) {
            self->postFIDDidChangeNotification();
            return saved;
        });
    });
}

PRMPromiseRef BCNInstallationsIDController::saveInstallation(
    const BCNInstallationsItem& installation) {
    return installationsStore_->saveInstallation(installation)
        ->then([installation](const PRMValue&) { return PRMValue::box(installation); });
}

PRMPromiseRef BCNInstallationsIDController::migrateOrGenerateInstallation() {
    auto self = shared_from_this();
    if (!isDefaultApp())
        return fulfilledWithItem(
            createInstallationWithFID(BCNInstallationsItem::generateFID(), std::nullopt));
    return PRMPromise::all({PRMValue(IIDStore_->existingIID()),
                            PRMValue(IIDTokenStore_->existingIIDDefaultToken())})
        ->then([self](const PRMValue& values) -> PRMValue {
            const auto& both = values.array();
            const auto* IID = both.size() == 2 ? both[0].as<std::string>() : nullptr;
            const auto* token = both.size() == 2 ? both[1].as<std::string>() : nullptr;
            if (!IID || !token) return BCNInstallationsErrorUtil::corruptedIIDTokenData();
            return PRMValue::box(self->createInstallationWithFID(*IID, *token));
        })
        ->recover([self](const ErrorRef&) {
            return PRMValue::box(
                self->createInstallationWithFID(BCNInstallationsItem::generateFID(), std::nullopt));
        });
}

BCNInstallationsItem BCNInstallationsIDController::createInstallationWithFID(
    const std::string& FID, const std::optional<std::string>& IIDDefaultToken) const {
    BCNInstallationsItem installation(appID_, appName_);
    installation.beaconInstallationID = FID;
    installation.IIDDefaultToken = IIDDefaultToken;
    installation.registrationStatus = Status::Unregistered;
    return installation;
}

// ---- Registration and tokens

PRMPromiseRef BCNInstallationsIDController::installationWithValidAuthTokenForcingRefresh(
    bool forceRefresh, bool mayRecover) {
    BCNLogDebug(kBCNInstallationsLogService,
                BCNInstallationsMessageCode::kInstallationWithValidAuthToken,
                "-[BCNInstallationsIDController installationWithValidAuthTokenForcingRefresh:%@], "
                "appName: %@",
                forceRefresh ? 1 : 0, appName_);
    auto self = shared_from_this();
    return getInstallationItem()
        ->then([self](const PRMValue& value) {
            return PRMValue(self->registerInstallationIfNeeded(itemOf(value)));
        })
        ->then([self, forceRefresh](const PRMValue& value) -> PRMValue {
            const BCNInstallationsItem& installation = itemOf(value);
            if (forceRefresh || needsRefresh(installation.authToken))
                return self->refreshAuthTokenForInstallation(installation);
            return value;
        })
        ->recover([self, mayRecover](const ErrorRef& error) {
            return PRMValue(self->regenerateFIDOnRefreshTokenErrorIfNeeded(error, mayRecover));
        });
}

PRMPromiseRef BCNInstallationsIDController::registerInstallationIfNeeded(
    const BCNInstallationsItem& installation) {
    if (installation.registrationStatus == Status::Registered)
        return fulfilledWithItem(installation);
    if (!backoffController_->isNextRequestAllowed())
        return BCNInstallationsErrorUtil::rejectedPromiseWithError(
            BCNInstallationsErrorUtil::backoffIntervalWaitError());
    auto self = shared_from_this();
    return APIService_->registerInstallation(installation)
        ->catchError([self](const ErrorRef& error) {
            self->updateBackoffWithSuccess(false, error);
            if (doesRegistrationErrorRequireConfigChange(error)) {
                BCNLogError(
                    kBCNInstallationsLogService, BCNInstallationsMessageCode::kRegistrationFailed,
                    "Beacon Installation registration failed for app with name: %@, "
                    "error:\n%@\nPlease make sure you use valid BeaconService-Info.plist",
                    self->appName_, error->failureReason().value_or(error->localizedDescription()));
            }
        })
        ->then([self, sentFID = installation.beaconInstallationID](const PRMValue& value) {
            self->updateBackoffWithSuccess(true, nullptr);
            const BCNInstallationsItem registered = itemOf(value);
            return PRMValue(
                self->saveInstallation(registered)->then([self, sentFID](const PRMValue& saved) {
                    if (itemOf(saved).beaconInstallationID != sentFID)
                        self->postFIDDidChangeNotification();
                    return saved;
                }));
        });
}

bool BCNInstallationsIDController::doesRegistrationErrorRequireConfigChange(const ErrorRef& error) {
    const long status = HTTPStatusOf(error);
    return status == 400 || status == 403 || status == 404;
}

PRMPromiseRef BCNInstallationsIDController::refreshAuthTokenForInstallation(
    const BCNInstallationsItem& installation) {
    if (!backoffController_->isNextRequestAllowed())
        return BCNInstallationsErrorUtil::rejectedPromiseWithError(
            BCNInstallationsErrorUtil::backoffIntervalWaitError());
    auto self = shared_from_this();
    return APIService_->refreshAuthTokenForInstallation(installation)
        ->catchError(
            [self](const ErrorRef& error) { self->updateBackoffWithSuccess(false, error); })
        ->then([self](const PRMValue& value) {
            self->updateBackoffWithSuccess(true, nullptr);
            return PRMValue(self->saveInstallation(itemOf(value)));
        });
}

PRMPromiseRef BCNInstallationsIDController::regenerateFIDOnRefreshTokenErrorIfNeeded(
    const ErrorRef& error, bool mayRecover) {
    const long status = HTTPStatusOf(error);
    // A second 401 or 404 within one operation is the answer: recovering again would only
    // delete, create and register installations for as long as the service keeps refusing.
    if ((status != 401 && status != 404) || !mayRecover)
        return BCNInstallationsErrorUtil::rejectedPromiseWithError(error);
    // The service no longer knows this installation: replace it by a new one.
    auto self = shared_from_this();
    return getInstallationItem()
        ->then([self](const PRMValue& value) {
            return PRMValue(self->deleteInstallationLocally(itemOf(value)));
        })
        ->then([self](const PRMValue&) {
            return PRMValue(self->installationWithValidAuthTokenForcingRefresh(false, false));
        });
}

void BCNInstallationsIDController::updateBackoffWithSuccess(bool success,
                                                            const ErrorRef& APIError) {
    if (success) {
        backoffController_->registerEvent(BCNInstallationsBackoffEvent::Success);
        return;
    }
    const long status = HTTPStatusOf(APIError);
    if (status == 0 || status == 401 || status == 404) return;  // no reply, or recovered
    backoffController_->registerEvent(status == 400 || status == 403
                                          ? BCNInstallationsBackoffEvent::UnrecoverableError
                                          : BCNInstallationsBackoffEvent::RecoverableError);
}

// ---- Deleting

PRMPromiseRef BCNInstallationsIDController::createDeleteInstallationPromise() {
    BCNLogDebug(kBCNInstallationsLogService, BCNInstallationsMessageCode::kDeleteInstallation,
                "%s, appName: %@",
                "-[BCNInstallationsIDController createDeleteInstallationPromise]", appName_);
    auto self = shared_from_this();
    return mostRecentInstallationOperation()
        ->then([self](const PRMValue& value) {
            return PRMValue(self->sendDeleteInstallationRequestIfNeeded(itemOf(value)));
        })
        ->then([self](const PRMValue& value) {
            return PRMValue(self->deleteInstallationLocally(itemOf(value)));
        });
}

PRMPromiseRef BCNInstallationsIDController::mostRecentInstallationOperation() {
    if (auto forcing = authTokenForcingRefreshPromiseCache_->getExistingPendingPromise())
        return forcing;
    if (auto token = authTokenPromiseCache_->getExistingPendingPromise()) return token;
    if (auto get = getInstallationPromiseCache_->getExistingPendingPromise()) return get;
    return getStoredInstallation();
}

PRMPromiseRef BCNInstallationsIDController::sendDeleteInstallationRequestIfNeeded(
    const BCNInstallationsItem& installation) {
    // The service never heard of an unregistered installation: nothing to tell it.
    if (installation.registrationStatus != Status::Registered)
        return fulfilledWithItem(installation);
    return APIService_->deleteInstallation(installation)
        ->recover([installation](const ErrorRef& error) -> PRMValue {
            if (BCNInstallationsErrorUtil::isAPIError(error, 404))
                return PRMValue::box(installation);  // already gone there
            return error;
        });
}

PRMPromiseRef BCNInstallationsIDController::deleteInstallationLocally(
    const BCNInstallationsItem& installation) {
    auto self = shared_from_this();
    return installationsStore_
        ->removeInstallationForAppID(installation.appID(), installation.beaconAppName())
        ->then([self](const PRMValue&) { return PRMValue(self->deleteExistingIIDIfNeeded()); })
        ->then([self](const PRMValue&) {
            self->postFIDDidChangeNotification();
            return PRMValue();
        });
}

PRMPromiseRef BCNInstallationsIDController::deleteExistingIIDIfNeeded() {
    if (!isDefaultApp()) return PRMPromise::resolvedWith(PRMValue());
    return IIDStore_->deleteExistingIID();
}

void BCNInstallationsIDController::postFIDDidChangeNotification() const {
    NotificationCenter::defaultCenter().post(kFIDDidChangeNotification, nullptr,
                                             {{kFIDDidChangeNotification, appName_}});
}

}  // namespace pex
