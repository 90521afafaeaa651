#pragma once
// Runs the whole life of one application object's installation as promise chains: read the
// stored installation or create one (the default app takes over a legacy identity), register
// it with the installations service, keep its auth token fresh, recover when the service no
// longer knows it, and delete it. Concurrent callers of one operation share one run of it.
// Every operation reads the store; nothing is kept in memory between operations.
//
// Results are boxed BCNInstallationsItem values; continuations and the FID-change
// notification run on the promise library's default queue.
#include <memory>
#include <string>

#include "beacon-core/PRMPromise.h"
#include "beacon-core/installations/BCNInstallationsAPIService.h"
#include "beacon-core/installations/BCNInstallationsBackoffControllerProtocol.h"
#include "beacon-core/installations/BCNInstallationsIIDStore.h"
#include "beacon-core/installations/BCNInstallationsIIDTokenStore.h"
#include "beacon-core/installations/BCNInstallationsItem.h"
#include "beacon-core/installations/BCNInstallationsSingleOperationPromiseCache.h"
#include "beacon-core/installations/BCNInstallationsStore.h"

namespace pex {

class BCNApp;

class BCNInstallationsIDController
    : public std::enable_shared_from_this<BCNInstallationsIDController> {
  public:
    // Posted with no sender and the app name under this same key whenever the FID changes.
    static constexpr const char* kFIDDidChangeNotification =
        "BCNInstallationIDDidChangeNotification";
    // An auth token with less life left than this is refreshed before it is handed out.
    static constexpr double kTokenExpirationThreshold = 3600;

    // The controller of `app`: its own keychain storage, store, REST service (with the app's
    // API key, project ID and heartbeat logger), legacy readers and backoff controller.
    static std::shared_ptr<BCNInstallationsIDController> controllerWithApp(const BCNApp& app);
    static std::shared_ptr<BCNInstallationsIDController> create(
        std::string appID, std::string appName,
        std::shared_ptr<BCNInstallationsStore> installationsStore,
        std::shared_ptr<BCNInstallationsIIDStore> IIDStore,
        std::shared_ptr<BCNInstallationsIIDTokenStore> IIDTokenStore,
        std::shared_ptr<BCNInstallationsAPIService> APIService,
        std::shared_ptr<BCNInstallationsBackoffControllerProtocol> backoffController);

    // "com.beacon.BCNInstallations.installations.<app ID>".
    static std::string keychainServiceWithAppID(const std::string& appID);

    // ---- Operations ----
    // The stored installation, or a new one (created, saved, announced). Once it is known, a
    // token request runs in the background, which registers a new installation.
    PRMPromiseRef getInstallationItem();
    // The registered installation with an auth token valid for at least the threshold.
    PRMPromiseRef getAuthTokenForcingRefresh(bool forceRefresh);
    // Deletes the installation on the service (when registered there) and then locally.
    PRMPromiseRef deleteInstallation();

    const std::string& appID() const { return appID_; }
    const std::string& appName() const { return appName_; }
    const std::shared_ptr<BCNInstallationsStore>& installationsStore() const {
        return installationsStore_;
    }
    const std::shared_ptr<BCNInstallationsAPIService>& APIService() const { return APIService_; }
    const std::shared_ptr<BCNInstallationsBackoffControllerProtocol>& backoffController() const {
        return backoffController_;
    }
    bool isDefaultApp() const;

  private:
    struct PrivateTag {};

  public:
    BCNInstallationsIDController(
        PrivateTag, std::string appID, std::string appName,
        std::shared_ptr<BCNInstallationsStore> installationsStore,
        std::shared_ptr<BCNInstallationsIIDStore> IIDStore,
        std::shared_ptr<BCNInstallationsIIDTokenStore> IIDTokenStore,
        std::shared_ptr<BCNInstallationsAPIService> APIService,
        std::shared_ptr<BCNInstallationsBackoffControllerProtocol> backoffController);

  private:
    // ---- Getting or creating the installation ----
    PRMPromiseRef createGetInstallationItemPromise();
    // The stored item; rejected with the not-found error also when the stored item is
    // invalid or unreadable, and with the keychain's error when the keychain cannot be read.
    PRMPromiseRef getStoredInstallation();
    PRMPromiseRef createAndSaveFID();
    PRMPromiseRef saveInstallation(const BCNInstallationsItem& installation);
    PRMPromiseRef migrateOrGenerateInstallation();
    BCNInstallationsItem createInstallationWithFID(
        const std::string& FID, const std::optional<std::string>& IIDDefaultToken) const;
    bool isInstallationNotFoundError(const ErrorRef& error) const;

    // ---- Registration and tokens ----
    // `mayRecover`: whether a 401 or 404 may still start one recovery in this operation.
    PRMPromiseRef installationWithValidAuthTokenForcingRefresh(bool forceRefresh, bool mayRecover);
    PRMPromiseRef registerInstallationIfNeeded(const BCNInstallationsItem& installation);
    static bool doesRegistrationErrorRequireConfigChange(const ErrorRef& error);
    PRMPromiseRef refreshAuthTokenForInstallation(const BCNInstallationsItem& installation);
    PRMPromiseRef regenerateFIDOnRefreshTokenErrorIfNeeded(const ErrorRef& error, bool mayRecover);
    void updateBackoffWithSuccess(bool success, const ErrorRef& APIError);

    // ---- Deleting ----
    PRMPromiseRef createDeleteInstallationPromise();
    PRMPromiseRef mostRecentInstallationOperation();
    PRMPromiseRef sendDeleteInstallationRequestIfNeeded(const BCNInstallationsItem& installation);
    PRMPromiseRef deleteInstallationLocally(const BCNInstallationsItem& installation);
    PRMPromiseRef deleteExistingIIDIfNeeded();

    void postFIDDidChangeNotification() const;

    const std::string appID_;
    const std::string appName_;
    const std::shared_ptr<BCNInstallationsStore> installationsStore_;
    const std::shared_ptr<BCNInstallationsIIDStore> IIDStore_;
    const std::shared_ptr<BCNInstallationsIIDTokenStore> IIDTokenStore_;
    const std::shared_ptr<BCNInstallationsAPIService> APIService_;
    const std::shared_ptr<BCNInstallationsBackoffControllerProtocol> backoffController_;

    // Set once by `create`; their handlers hold the controller weakly.
    std::unique_ptr<BCNInstallationsSingleOperationPromiseCache> getInstallationPromiseCache_;
    std::unique_ptr<BCNInstallationsSingleOperationPromiseCache> authTokenPromiseCache_;
    std::unique_ptr<BCNInstallationsSingleOperationPromiseCache>
        authTokenForcingRefreshPromiseCache_;
    std::unique_ptr<BCNInstallationsSingleOperationPromiseCache> deleteInstallationPromiseCache_;
};

}  // namespace pex
