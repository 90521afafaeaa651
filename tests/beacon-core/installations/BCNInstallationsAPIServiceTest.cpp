#include "beacon-core/installations/BCNInstallationsAPIService.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "beacon-core/BCNHeartbeatLogger.h"
#include "beacon-core/HeartbeatsPayload.h"
#include "beacon-core/LogCapture.h"
#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsHTTPError.h"
#include "platform/foundation/Clock.h"
#include "standin-service/InstallationsServer.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using standin::InstallationsServer;

constexpr const char* kAppID = "1:123456789:ios:abcdef0123456789";

// Isolated: the heartbeat logger of one case keeps its store in the test's own data folder.
class BCNInstallationsAPIServiceTest : public test::IsolatedTest {
  protected:
    static bool settle(const PRMPromiseRef& promise) {
        return test::runMainUntil([&] { return !promise->isPending(); }, std::chrono::seconds(20));
    }
    void SetUp() override {
        ASSERT_NE(service.start(), 0);
        BCNInstallationsAPIService::setOriginForTesting(service.origin());
    }
    void TearDown() override { BCNInstallationsAPIService::setOriginForTesting(std::nullopt); }

    BCNInstallationsItem newItem() const {
        BCNInstallationsItem item(kAppID, "__BCNAPP_DEFAULT");
        item.beaconInstallationID = "cABCDEFGHIJKLMNOPQRSTU";
        item.registrationStatus = BCNInstallationsRegistrationStatus::Unregistered;
        return item;
    }
    BCNInstallationsItem registeredItem() const {
        auto item = newItem();
        item.refreshToken = "secret-refresh";
        item.registrationStatus = BCNInstallationsRegistrationStatus::Registered;
        return item;
    }
    // The settled promise's item, or none (with the error kept in `error`).
    std::optional<BCNInstallationsItem> settleItem(const PRMPromiseRef& promise) {
        EXPECT_TRUE(settle(promise));
        if (promise->isRejected()) {
            error = promise->error();
            return std::nullopt;
        }
        const auto* item = promise->value().as<BCNInstallationsItem>();
        return item ? std::optional(*item) : std::nullopt;
    }
    long errorStatus() const {
        auto http = std::dynamic_pointer_cast<const BCNInstallationsHTTPError>(error);
        return http ? http->HTTPResponse().statusCode : -1;
    }

    standin::StandinService service;
    InstallationsServer installations{service};
    BCNInstallationsAPIService api{"api-key-of-the-test", "project/one", nullptr};
    ErrorRef error;
};

TEST_F(BCNInstallationsAPIServiceTest, RequestsHaveTheirPathsMethodsHeadersAndBodies) {
    auto legacy = newItem();
    legacy.IIDDefaultToken = "legacy-token";
    ASSERT_TRUE(settleItem(api.registerInstallation(newItem())));
    ASSERT_TRUE(settleItem(api.registerInstallation(legacy)));
    ASSERT_TRUE(settleItem(api.refreshAuthTokenForInstallation(registeredItem())));
    ASSERT_TRUE(settleItem(api.deleteInstallation(registeredItem())));

    const auto requests = installations.requests();
    ASSERT_EQ(requests.size(), 4u);
    const std::string base = "/v1/projects/project/one/installations/";  // "/" was sent escaped
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, base);
    EXPECT_EQ(requests[0].json, (nlohmann::json{{"fid", "cABCDEFGHIJKLMNOPQRSTU"},
                                                {"authVersion", "BIS_v2"},
                                                {"appId", kAppID},
                                                {"sdkVersion", "i:12.7.0"}}));
    for (const auto& request : requests) {
        EXPECT_EQ(request.header("X-Beacon-Api-Key"), "api-key-of-the-test");
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        EXPECT_FALSE(request.header("X-beacon-client")) << "no heartbeats to report";
    }
    EXPECT_FALSE(requests[0].header("x-beacon-bis-ios-iid-migration-auth"));
    EXPECT_FALSE(requests[0].header("Authorization"));
    EXPECT_EQ(requests[1].header("x-beacon-bis-ios-iid-migration-auth"), "legacy-token");
    EXPECT_FALSE(requests[1].header("Authorization"));

    EXPECT_EQ(requests[2].method, "POST");
    EXPECT_EQ(requests[2].path, base + "cABCDEFGHIJKLMNOPQRSTU/authTokens:generate");
    EXPECT_EQ(requests[2].json, (nlohmann::json{{"installation", {{"sdkVersion", "i:12.7.0"}}}}));
    EXPECT_EQ(requests[2].header("Authorization"), "BIS_v2 secret-refresh");

    EXPECT_EQ(requests[3].method, "DELETE");
    EXPECT_EQ(requests[3].path, base + "cABCDEFGHIJKLMNOPQRSTU/");
    EXPECT_EQ(requests[3].body, "{}");
    EXPECT_EQ(requests[3].header("Authorization"), "BIS_v2 secret-refresh");
}

TEST_F(BCNInstallationsAPIServiceTest, RepliesBecomeItemsAndTokens) {
    installations.script({201, std::nullopt});
    auto registered = settleItem(api.registerInstallation(newItem()));
    ASSERT_TRUE(registered) << (error ? error->description() : "");
    EXPECT_EQ(registered->registrationStatus, BCNInstallationsRegistrationStatus::Registered);
    EXPECT_EQ(registered->refreshToken, "standin-refresh-token-1");
    EXPECT_EQ(registered->authToken.token(), "standin-auth-token-1");

    const auto before = std::chrono::system_clock::now();
    auto refreshed = settleItem(api.refreshAuthTokenForInstallation(*registered));
    ASSERT_TRUE(refreshed);
    EXPECT_EQ(refreshed->authToken.token(), "standin-auth-token-2");
    EXPECT_EQ(refreshed->refreshToken, registered->refreshToken);
    const auto expiry = refreshed->authToken.expirationDate();
    ASSERT_TRUE(expiry);
    EXPECT_GE(*expiry, before + std::chrono::hours(24 * 7) - std::chrono::seconds(1));
    EXPECT_LE(*expiry, std::chrono::system_clock::now() + std::chrono::hours(24 * 7));
}

TEST_F(BCNInstallationsAPIServiceTest, StatusesOutside2xxAreHTTPErrorsAndOnly500IsRetriedOnce) {
    ScopedManualClock clock;  // the retry waits on the process's clock
    struct Case {
        std::vector<int> script;
        bool succeeds;
        long status;
        size_t requests;
    };
    for (const Case& c : std::vector<Case>{{{409}, false, 409, 1},
                                           {{400}, false, 400, 1},
                                           {{500, 200}, true, 0, 2},
                                           {{500, 500, 200}, false, 500, 2}}) {
        installations.clear();
        error = nullptr;
        for (int status : c.script) installations.script({status, std::nullopt});
        auto promise = api.registerInstallation(newItem());
        if (c.requests == 2) {
            // The retry waits exactly one second after the 500 reply.
            ASSERT_TRUE(test::runMainUntil([&] { return clock.clock().pendingCount() == 1; },
                                           std::chrono::seconds(20)));
            clock.clock().advance(std::chrono::milliseconds(999));
            EXPECT_EQ(clock.clock().pendingCount(), 1u);
            EXPECT_TRUE(promise->isPending());
            EXPECT_EQ(installations.requests().size(), 1u);
            clock.clock().advance(std::chrono::milliseconds(1));
        }
        auto item = settleItem(promise);
        EXPECT_EQ(item.has_value(), c.succeeds) << c.script[0];
        if (!c.succeeds) {
            EXPECT_EQ(errorStatus(), c.status);
        }
        EXPECT_EQ(installations.requests().size(), c.requests);
        EXPECT_EQ(clock.clock().pendingCount(), 0u) << "no further retry";
    }
}

TEST_F(BCNInstallationsAPIServiceTest, InvalidItemsAndBadRepliesAreRefused) {
    BCNInstallationsItem invalid(kAppID, "__BCNAPP_DEFAULT");  // no FID
    EXPECT_FALSE(settleItem(api.registerInstallation(invalid)));
    EXPECT_TRUE(installations.requests().empty()) << "nothing is sent for an invalid item";

    installations.script({200, std::string("[]")});
    EXPECT_FALSE(settleItem(api.registerInstallation(newItem())));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 0);
    installations.script({200, std::string(R"({"token": "t"})")});
    EXPECT_FALSE(settleItem(api.refreshAuthTokenForInstallation(registeredItem())));
}

TEST_F(BCNInstallationsAPIServiceTest, HeartbeatsTravelOnceInTheClientHeader) {
    auto logger =
        std::make_shared<BCNHeartbeatLogger>(kAppID, [] { return std::string("bcn-ios/12.7.0"); });
    logger->log();
    BCNInstallationsAPIService withHeartbeats{"api-key-of-the-test", "project-one", logger};
    ASSERT_TRUE(settleItem(withHeartbeats.registerInstallation(newItem())));
    ASSERT_TRUE(settleItem(withHeartbeats.registerInstallation(newItem())));
    const auto requests = installations.requests();
    ASSERT_EQ(requests.size(), 2u);
    const auto header = requests[0].header("X-beacon-client");
    ASSERT_TRUE(header);
    const auto packed = HeartbeatsPayload::fromBase64URLText(*header);
    ASSERT_TRUE(packed);
    const auto json = HeartbeatsPayload::gunzipped(*packed);
    ASSERT_TRUE(json);
    EXPECT_NE(std::string(json->begin(), json->end()).find(R"(bcn-ios\/12.7.0)"),
              std::string::npos);
    EXPECT_FALSE(requests[1].header("X-beacon-client")) << "the heartbeat was reported already";
}

TEST_F(BCNInstallationsAPIServiceTest, LoggedHeadersNeverShowCredentials) {
    const std::string logged = BCNInstallationsAPIService::loggableHeaders(
        {{"X-Beacon-Api-Key", "api-key-of-the-test"},
         {"Authorization", "BIS_v2 secret-refresh"},
         {"x-beacon-bis-ios-iid-migration-auth", "legacy-token"},
         {"Content-Type", "application/json"}});
    for (const char* secret : {"api-key-of-the-test", "secret-refresh", "legacy-token"})
        EXPECT_EQ(logged.find(secret), std::string::npos) << secret;
    EXPECT_NE(logged.find("Content-Type: application/json"), std::string::npos);
}

TEST_F(BCNInstallationsAPIServiceTest, NoLogLineShowsACredentialEvenWithDebugLogging) {
    test::LogCapture capture;
    BCNSetLoggerLevelDebug();
    auto migrated = newItem();
    migrated.IIDDefaultToken = "legacy-token";
    auto registered = settleItem(api.registerInstallation(migrated));
    ASSERT_TRUE(registered);
    auto refreshed = settleItem(api.refreshAuthTokenForInstallation(*registered));
    ASSERT_TRUE(refreshed);
    installations.script({409, R"({"error":{"message":"conflict"}})"});
    EXPECT_FALSE(settleItem(api.deleteInstallation(*refreshed)));
    service.stop();
    EXPECT_FALSE(settleItem(api.refreshAuthTokenForInstallation(*refreshed)));

    const std::vector<std::string> lines = capture.lines();
    for (const char* code : {"I-BIS001001", "I-BIS001002", "I-BIS001003", "I-BIS001004"}) {
        EXPECT_TRUE(std::any_of(
            lines.begin(), lines.end(),
            [&](const std::string& line) { return line.find(code) != std::string::npos; }))
            << code << " was logged";
    }
    const std::string secrets[] = {"api-key-of-the-test", "legacy-token", *registered->refreshToken,
                                   registered->authToken.token().value_or("?"),
                                   refreshed->authToken.token().value_or("?")};
    for (const std::string& line : lines)
        for (const std::string& secret : secrets)
            EXPECT_EQ(line.find(secret), std::string::npos) << secret << " in: " << line;
}

TEST_F(BCNInstallationsAPIServiceTest, RequestsAreBuiltWithoutHoldingUpTheCaller) {
    auto heartbeats = std::make_shared<BCNHeartbeatLogger>(kAppID);
    heartbeats->log();
    BCNInstallationsAPIService withHeartbeats("api-key-of-the-test", "project-one", heartbeats);
    // The heartbeat store is busy, as on a slow disk: building the client header waits for it.
    std::promise<void> release, busy, returned;
    std::shared_future<void> released = release.get_future().share();
    heartbeats->flushHeartbeatsIntoPayloadWithCompletionHandler([&](BCNHeartbeatsPayload) {
        busy.set_value();
        released.wait();
    });
    busy.get_future().wait();
    // Frees the store once the call returned, or after a while if it never does by itself.
    std::future<void> hasReturned = returned.get_future();
    std::thread watchdog([&] {
        hasReturned.wait_for(std::chrono::seconds(10));
        release.set_value();
    });
    const auto promise = withHeartbeats.registerInstallation(newItem());
    const bool returnedWhileBusy =
        released.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
    returned.set_value();
    watchdog.join();
    EXPECT_TRUE(returnedWhileBusy) << "the call waited for the heartbeat store";
    EXPECT_TRUE(settleItem(promise));
    EXPECT_EQ(installations.requests().size(), 1u);
}

}  // namespace
}  // namespace pex
