// The installations component as an app gets it: created eagerly by `configure`, handing out
// the FID and auth token of the stand-in installations service over real HTTP.
#include "beacon-core/installations/BCNInstallations.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "beacon-core/BCNApp.h"
#include "beacon-core/BCNComponentContainer.h"
#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsIDController.h"
#include "beacon-core/installations/InstallationsTestSupport.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/MainQueue.h"
#include "standin-service/InstallationsServer.h"

namespace pex {
namespace {

using Operation = InMemorySecureItemStore::Operation;

constexpr const char* kAPIKey = "Apexmora-test-key_0123456789abcdefghijk";  // 39 characters

BCNOptions makeOptions(std::optional<std::string> APIKey = kAPIKey,
                       std::optional<std::string> projectID = "project-one") {
    PropertyList::Dictionary values{{"BEACON_APP_ID", PropertyList("1:123:ios:0a1b2c")}};
    if (APIKey) values["API_KEY"] = PropertyList(*APIKey);
    if (projectID) values["PROJECT_ID"] = PropertyList(*projectID);
    return BCNOptions(values);
}

// The reason of the installations exception `call` raises; "" when it raises none.
template <typename Call>
std::string failureOf(Call call) {
    try {
        call();
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "com.beacon.installations");
        return e.reason();
    }
    return "";
}

class BCNInstallationsTest : public test::InstallationsTest {
  protected:
    void SetUp() override {
        BCNApp::resetApps();
        ASSERT_NE(service.start(), 0);
        BCNInstallationsAPIService::setOriginForTesting(service.origin());
    }
    void TearDown() override {
        EXPECT_TRUE(PRMPromiseWaitForAll(20));
        BCNApp::resetApps();
        BCNInstallationsAPIService::setOriginForTesting(std::nullopt);
    }

    standin::StandinService service;
    standin::InstallationsServer server{service};
};

TEST_F(BCNInstallationsTest, ConfigureCreatesTheComponentEagerlyAndChecksTheOptions) {
    EXPECT_NE(failureOf([] {
                  BCNInstallations::installations();
              }).find("The default BeaconApp instance must be configured"),
              std::string::npos);

    // The options are checked while `configure` runs: the component is created then.
    EXPECT_NE(failureOf([] {
                  BCNApp::configureWithOptions(makeOptions(kAPIKey, ""));
              }).find("The following parameters are nil or empty: `BeaconOptions.projectID`"),
              std::string::npos);
    BCNApp::resetApps();

    BCNApp::configureWithOptions(makeOptions());
    auto installations = BCNInstallations::installations();
    ASSERT_TRUE(installations);
    EXPECT_EQ(installations, BCNInstallations::installationsWithApp(*BCNApp::defaultApp()));
    EXPECT_EQ(installations->appName(), "__BCNAPP_DEFAULT");
    const auto registrants = BCNComponentContainer::registrants();
    EXPECT_TRUE(std::any_of(registrants.begin(), registrants.end(), [](const auto& library) {
        return library.className == "BCNInstallations";
    }));
    EXPECT_TRUE(installations->installationsIDController()->isDefaultApp());
}

TEST_F(BCNInstallationsTest, MalformedOptionsRaiseWithEveryProblemNamed) {
    struct Case {
        std::optional<std::string> appName, APIKey, projectID;
        std::string expected;
    };
    const std::string beginsWithB = "B" + std::string(kAPIKey).substr(1);
    for (const Case& c : std::vector<Case>{
             {"app", beginsWithB, "p",
              "doesn't match the expected format: API Key must start "
              "with `A`. If you use"},
             {"app", "Ashort+key", "p",
              "API Key length must be 39 characters, API Key must contain only base64 url-safe "
              "characters characters"},
             {"", std::nullopt, "",
              "nil or empty: `BeaconApp.name`, `BeaconOptions.APIKey`, "
              "`BeaconOptions.projectID`."},
             {"app", kAPIKey, "p", ""}}) {
        const std::string reason = failureOf([&] {
            BCNInstallations::validateAppOptions(makeOptions(c.APIKey, c.projectID), c.appName);
        });
        if (c.expected.empty()) {
            EXPECT_EQ(reason, "");
            continue;
        }
        EXPECT_EQ(reason.rfind("[BeaconInstallations][I-BIS008000] Could not configure Beacon "
                               "Installations due to invalid BeaconApp options. ",
                               0),
                  0u)
            << reason;
        EXPECT_NE(reason.find(c.expected), std::string::npos) << reason;
    }
}

TEST_F(BCNInstallationsTest, CallersReceiveTheFIDAndATokenOnTheMainQueue) {
    BCNApp::configureWithOptions(makeOptions());
    auto installations = BCNInstallations::installations();

    std::optional<std::string> fid;
    std::optional<BCNInstallationsAuthTokenResult> token;
    int answers = 0;
    installations->installationIDWithCompletion([&](std::optional<std::string> id, ErrorRef e) {
        EXPECT_TRUE(MainQueue::isMainThread());
        EXPECT_FALSE(e);
        fid = id;
        ++answers;
    });
    installations->authTokenWithCompletion(
        [&](std::optional<BCNInstallationsAuthTokenResult> result, ErrorRef e) {
            EXPECT_TRUE(MainQueue::isMainThread());
            EXPECT_FALSE(e);
            token = result;
            ++answers;
        });
    ASSERT_TRUE(test::runMainUntil([&] { return answers == 2; }, std::chrono::seconds(20)));
    ASSERT_TRUE(fid && token);
    EXPECT_EQ(token->authToken, "standin-auth-token-1");
    EXPECT_GT(token->expirationDate, std::chrono::system_clock::now() + std::chrono::hours(167));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u) << "one registration serves both callers";
    EXPECT_EQ(requests[0].json["fid"], *fid);
    EXPECT_EQ(requests[0].header("X-Beacon-Api-Key"), kAPIKey);

    // Failures reach callers in the installations domain, whatever their origin.
    keychain->forceStatus(Operation::Remove, kSecStatusNotAvailable);
    ErrorRef deleteError;
    bool deleted = false;
    installations->deleteWithCompletion([&](ErrorRef e) {
        deleteError = e;
        deleted = true;
    });
    ASSERT_TRUE(test::runMainUntil([&] { return deleted; }, std::chrono::seconds(20)));
    ASSERT_TRUE(deleteError);
    EXPECT_EQ(deleteError->domain(), BCNInstallationsErrorUtil::kErrorDomain);
    ASSERT_TRUE(deleteError->underlyingError());
    EXPECT_EQ(deleteError->underlyingError()->failureReason(),
              "SecItemDelete (" + std::to_string(kSecStatusNotAvailable) + ")");
}

}  // namespace
}  // namespace pex
