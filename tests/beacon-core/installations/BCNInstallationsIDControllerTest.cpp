// The ID controller against the stand-in installations service over real HTTP on 127.0.0.1,
// with the real store over an in-memory keychain.
#include "beacon-core/installations/BCNInstallationsIDController.h"

#include <chrono>

#include <gtest/gtest.h>

#include "beacon-core/installations/BCNInstallationsBackoffController.h"
#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsHTTPError.h"
#include "beacon-core/installations/InstallationsTestSupport.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "standin-service/InstallationsServer.h"

namespace pex {
namespace {

using Operation = InMemorySecureItemStore::Operation;
using standin::InstallationsServer;
using namespace std::chrono_literals;

constexpr const char* kAppID = "1:123:ios:0a1b2c";
constexpr const char* kAppName = "__BCNAPP_DEFAULT";
constexpr const char* kStoredFID = "fStoredStoredStoredSto";

class BCNInstallationsIDControllerTest : public test::InstallationsTest {
  protected:
    void SetUp() override {
        ASSERT_NE(service.start(), 0);
        BCNInstallationsAPIService::setOriginForTesting(service.origin());
    }
    void TearDown() override {
        EXPECT_TRUE(PRMPromiseWaitForAll(20));
        BCNInstallationsAPIService::setOriginForTesting(std::nullopt);
    }

    // A controller as the app builds it: its own keychain storage (nothing cached yet).
    std::shared_ptr<BCNInstallationsIDController> makeController() {
        auto storage = std::make_shared<UTLKeychainStorage>(
            BCNInstallationsIDController::keychainServiceWithAppID(kAppID));
        return BCNInstallationsIDController::create(
            kAppID, kAppName, std::make_shared<BCNInstallationsStore>(storage, std::nullopt),
            std::make_shared<BCNInstallationsIIDStore>(),
            std::make_shared<BCNInstallationsIIDTokenStore>("123456789"),
            std::make_shared<BCNInstallationsAPIService>("api-key", "project-one", nullptr),
            std::make_shared<BCNInstallationsBackoffController>());
    }

    static BCNInstallationsItem registeredItem(std::chrono::seconds tokenLifeLeft) {
        BCNInstallationsItem item(kAppID, kAppName);
        item.beaconInstallationID = kStoredFID;
        item.refreshToken = "stored-refresh";
        item.registrationStatus = BCNInstallationsRegistrationStatus::Registered;
        item.authToken.setStatus(BCNInstallationsAuthTokenStatus::TokenReceived);
        item.authToken.setToken("stored-token");
        item.authToken.setExpirationDate(std::chrono::system_clock::now() + tokenLifeLeft);
        return item;
    }
    void store(const BCNInstallationsItem& item) {
        ASSERT_FALSE(errorOf(controller->installationsStore()->saveInstallation(item)));
    }
    // What a new controller (and so the keychain itself) reads back.
    std::optional<BCNInstallationsItem> stored() {
        auto promise =
            makeController()->installationsStore()->installationForAppID(kAppID, kAppName);
        if (errorOf(promise)) return std::nullopt;
        return *promise->value().as<BCNInstallationsItem>();
    }
    // The settled item, or none with `error` set.
    std::optional<BCNInstallationsItem> itemOf(const PRMPromiseRef& promise) {
        error = errorOf(promise);
        if (error) return std::nullopt;
        return *promise->value().as<BCNInstallationsItem>();
    }
    long HTTPStatus() const {
        auto HTTPError = std::dynamic_pointer_cast<const BCNInstallationsHTTPError>(error);
        return HTTPError ? HTTPError->HTTPResponse().statusCode : -1;
    }
    std::size_t loggedCount(const std::string& code) const {
        std::size_t count = 0;
        for (const auto& line : loggedLines())
            if (line.find("[" + code + "]") != std::string::npos) ++count;
        return count;
    }

    standin::StandinService service;
    InstallationsServer installations{service};
    std::shared_ptr<BCNInstallationsIDController> controller = makeController();
    ErrorRef error;
    std::vector<nlohmann::json> notifications;
    ScopedObserver observer{NotificationCenter::defaultCenter(),
                            NotificationCenter::defaultCenter().addObserver(
                                BCNInstallationsIDController::kFIDDidChangeNotification, nullptr,
                                [this](const Notification& n) {
                                    EXPECT_EQ(n.sender, nullptr);
                                    notifications.push_back(n.userInfo);
                                })};
};

TEST_F(BCNInstallationsIDControllerTest, TheFirstFIDRequestCreatesSavesRegistersAndFetchesAToken) {
    auto created = itemOf(controller->getInstallationItem());
    ASSERT_TRUE(created) << error->description();
    ASSERT_TRUE(created->beaconInstallationID);
    EXPECT_EQ(created->beaconInstallationID->size(), 22u);
    EXPECT_EQ(created->registrationStatus, BCNInstallationsRegistrationStatus::Unregistered);
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0],
              (nlohmann::json{{"BCNInstallationIDDidChangeNotification", kAppName}}));

    // Registration and the first token follow in the background.
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    auto requests = installations.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/v1/projects/project-one/installations/");
    EXPECT_EQ(requests[0].json["fid"], *created->beaconInstallationID);
    auto registered = stored();
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->beaconInstallationID, created->beaconInstallationID);
    EXPECT_EQ(registered->registrationStatus, BCNInstallationsRegistrationStatus::Registered);
    EXPECT_EQ(registered->authToken.token(), "standin-auth-token-1");
    EXPECT_EQ(notifications.size(), 1u) << "the service kept the FID";

    // The saved token is handed out without another request.
    auto withToken = itemOf(controller->getAuthTokenForcingRefresh(false));
    ASSERT_TRUE(withToken);
    EXPECT_EQ(withToken->authToken.token(), "standin-auth-token-1");
    EXPECT_EQ(installations.requests().size(), 1u);
}

TEST_F(BCNInstallationsIDControllerTest, ConcurrentRequestsShareOneRunOfTheirOperation) {
    auto first = controller->getInstallationItem();
    auto second = controller->getInstallationItem();
    EXPECT_EQ(first, second);
    auto a = itemOf(first);
    auto b = itemOf(second);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->beaconInstallationID, b->beaconInstallationID);
    EXPECT_EQ(notifications.size(), 1u) << "one creation";
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(installations.requests().size(), 1u) << "one registration";

    // A token request made while a forced refresh runs receives the forced refresh's result.
    auto forced = controller->getAuthTokenForcingRefresh(true);
    auto plain = controller->getAuthTokenForcingRefresh(false);
    EXPECT_EQ(forced, plain);
    auto refreshed = itemOf(plain);
    ASSERT_TRUE(refreshed) << error->description();
    EXPECT_EQ(refreshed->authToken.token(), "standin-auth-token-2");
    EXPECT_EQ(installations.requests().size(), 2u);
}

TEST_F(BCNInstallationsIDControllerTest, ATokenIsRefreshedOnlyWithLessThanAnHourLeft) {
    for (auto [lifeLeft, refreshed] :
         std::vector<std::pair<std::chrono::seconds, bool>>{{59min, true}, {61min, false}}) {
        installations.clear();
        store(registeredItem(lifeLeft));
        auto item = itemOf(controller->getAuthTokenForcingRefresh(false));
        ASSERT_TRUE(item) << error->description();
        EXPECT_EQ(installations.requests().size(), refreshed ? 1u : 0u) << lifeLeft.count();
        EXPECT_EQ(item->authToken.token() != "stored-token", refreshed);
        EXPECT_EQ(item->refreshToken, "stored-refresh");
        if (refreshed) {
            EXPECT_EQ(installations.requests()[0].header("Authorization"), "BIS_v2 stored-refresh");
            EXPECT_EQ(stored()->authToken.token(), item->authToken.token()) << "saved";
        }
    }
}

TEST_F(BCNInstallationsIDControllerTest, ARegistrationRefusedWith400HoldsBackRequestsFor24Hours) {
    ScopedManualClock clock;  // the backoff reads the process's clock
    installations.script({400, std::nullopt});
    BCNInstallationsItem unregistered(kAppID, kAppName);
    unregistered.beaconInstallationID = kStoredFID;
    unregistered.registrationStatus = BCNInstallationsRegistrationStatus::Unregistered;
    store(unregistered);

    EXPECT_FALSE(itemOf(controller->getAuthTokenForcingRefresh(false)));
    EXPECT_EQ(HTTPStatus(), 400);
    for (int attempt = 0; attempt < 2; ++attempt) {
        clock.clock().advance(std::chrono::hours(12) - 1s);
        EXPECT_FALSE(itemOf(controller->getAuthTokenForcingRefresh(attempt == 1)));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), BCNInstallationsErrorUtil::kErrorDomain);
        EXPECT_EQ(error->code(), 2);
        EXPECT_EQ(error->failureReason(), "Too many server requests.");
    }
    EXPECT_EQ(installations.requests().size(), 1u) << "refused without a request";
    EXPECT_EQ(loggedCount("I-BIS002003"), 1u);

    clock.clock().advance(2s);  // 24 hours after the refusal
    auto registered = itemOf(controller->getAuthTokenForcingRefresh(false));
    ASSERT_TRUE(registered) << error->description();
    EXPECT_EQ(registered->registrationStatus, BCNInstallationsRegistrationStatus::Registered);
    EXPECT_EQ(installations.requests().size(), 2u);
}

TEST_F(BCNInstallationsIDControllerTest, ARefreshAnswered404ReplacesTheInstallation) {
    store(registeredItem(10min));
    installations.script({404, std::nullopt});  // the token request
    auto item = itemOf(controller->getAuthTokenForcingRefresh(false));
    ASSERT_TRUE(item) << error->description();
    EXPECT_NE(item->beaconInstallationID, kStoredFID);
    EXPECT_EQ(item->registrationStatus, BCNInstallationsRegistrationStatus::Registered);
    EXPECT_EQ(notifications.size(), 2u) << "deleted, then created";

    const auto requests = installations.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].path.find(std::string(kStoredFID) + "/authTokens:generate"),
              std::string::npos);
    EXPECT_EQ(requests[1].json["fid"], *item->beaconInstallationID);
    EXPECT_EQ(item->authToken.token(), "standin-auth-token-2");
    EXPECT_EQ(stored()->beaconInstallationID, item->beaconInstallationID);
}

TEST_F(BCNInstallationsIDControllerTest, RecoveryRunsAtMostOncePerOperation) {
    store(registeredItem(10min));
    installations.script({401, std::nullopt});  // the token request
    installations.script({404, std::nullopt});  // the new installation's registration
    EXPECT_FALSE(itemOf(controller->getAuthTokenForcingRefresh(false)));
    EXPECT_EQ(HTTPStatus(), 404);
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(installations.requests().size(), 2u) << "no endless delete, create, register";
    EXPECT_EQ(notifications.size(), 2u);
}

TEST_F(BCNInstallationsIDControllerTest, OnlyAMissingOrUnusableRecordMakesANewInstallation) {
    // A keychain that cannot be read for a moment fails the operation and keeps the stored
    // identity: the failure passes, so nothing but the guard stops an overwrite.
    store(registeredItem(24h));
    const int writesBefore =
        keychain->callCount(Operation::Add) + keychain->callCount(Operation::Update);
    keychain->forceStatusOnce(Operation::CopyMatching, kSecStatusNotAvailable);
    controller = makeController();
    EXPECT_FALSE(itemOf(controller->getInstallationItem()));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failureReason(),
              "SecItemCopyMatching (" + std::to_string(kSecStatusNotAvailable) + ")");
    ASSERT_TRUE(PRMPromiseWaitForAll(20));
    EXPECT_EQ(keychain->callCount(Operation::Add) + keychain->callCount(Operation::Update),
              writesBefore)
        << "nothing written over the stored installation";
    EXPECT_EQ(stored()->beaconInstallationID, kStoredFID);
    EXPECT_TRUE(notifications.empty());
    // Once the keychain reads again, the stored installation is handed out.
    auto again = itemOf(controller->getInstallationItem());
    ASSERT_TRUE(again) << error->description();
    EXPECT_EQ(again->beaconInstallationID, kStoredFID);
    ASSERT_TRUE(PRMPromiseWaitForAll(20));  // its token check in the background, too

    // A stored record that fails validation is replaced, with a warning.
    auto invalid = registeredItem(24h);
    invalid.refreshToken.reset();
    store(invalid);
    controller = makeController();
    auto replaced = itemOf(controller->getInstallationItem());
    ASSERT_TRUE(replaced) << error->description();
    EXPECT_NE(replaced->beaconInstallationID, kStoredFID);
    EXPECT_EQ(loggedCount("I-BIS002004"), 1u);
    EXPECT_EQ(notifications.size(), 1u);
}

TEST_F(BCNInstallationsIDControllerTest, DeletingTellsTheServiceOnlyAboutRegisteredInstallations) {
    struct Case {
        BCNInstallationsRegistrationStatus status;
        std::optional<int> reply;  // the service's answer to the deletion
        std::size_t requests;
    };
    for (const Case& c : {Case{BCNInstallationsRegistrationStatus::Unregistered, std::nullopt, 0},
                          Case{BCNInstallationsRegistrationStatus::Registered, 200, 1},
                          Case{BCNInstallationsRegistrationStatus::Registered, 404, 1}}) {
        installations.clear();
        notifications.clear();
        auto item = registeredItem(24h);
        item.registrationStatus = c.status;
        store(item);
        if (c.reply) installations.script({*c.reply, std::nullopt});
        EXPECT_FALSE(errorOf(controller->deleteInstallation())) << c.requests;
        const auto requests = installations.requests();
        ASSERT_EQ(requests.size(), c.requests);
        if (!requests.empty()) {
            EXPECT_EQ(requests[0].method, "DELETE");
        }
        EXPECT_FALSE(stored()) << "the local record is gone";
        EXPECT_EQ(notifications.size(), 1u);
    }

    // Another failure keeps the record; nothing stored is a not-found error.
    store(registeredItem(24h));
    installations.script({503, std::nullopt});
    EXPECT_TRUE(errorOf(controller->deleteInstallation()));
    EXPECT_TRUE(stored());
    EXPECT_FALSE(errorOf(controller->deleteInstallation()));
    auto gone = controller->deleteInstallation();
    ASSERT_TRUE(errorOf(gone));
    EXPECT_EQ(gone->error()->failureReason(), std::string("Installation for appID ") + kAppID +
                                                  " appName " + kAppName + " not found");
}

}  // namespace
}  // namespace pex
