// The sessions component as a configured application gets it: registered at load time, built
// eagerly with the default app, and reaching the app's installation service (the stand-in's
// installations endpoints, over real HTTP).
#include <future>

#include <gtest/gtest.h>

#include "beacon-core/BCNApp.h"
#include "beacon-core/BCNComponentContainer.h"
#include "beacon-core/installations/BCNInstallations.h"
#include "beacon-core/installations/BCNInstallationsAPIService.h"
#include "beacon-core/installations/InstallationsTestSupport.h"
#include "sessions/InstallationsAdapter.h"
#include "sessions/Sessions.h"
#include "sessions/SettingsDownloader.h"
#include "standin-service/InstallationsServer.h"

namespace pex {
namespace {

class SessionsInAppTest : public test::InstallationsTest {
  protected:
    void SetUp() override {
        BCNApp::resetApps();
        ASSERT_NE(service.start(), 0);
        BCNInstallationsAPIService::setOriginForTesting(service.origin());
        SettingsDownloader::setOriginForTesting(service.origin());
    }
    void TearDown() override {
        EXPECT_TRUE(PRMPromiseWaitForAll(20));
        BCNApp::resetApps();
        BCNInstallationsAPIService::setOriginForTesting(std::nullopt);
        SettingsDownloader::setOriginForTesting(std::nullopt);
    }
    static BCNOptions options() {
        return BCNOptions(PropertyList::Dictionary{
            {"BEACON_APP_ID", PropertyList("1:123:ios:0a1b2c")},
            {"API_KEY", PropertyList("Apexmora-test-key_0123456789abcdefghijk")},
            {"PROJECT_ID", PropertyList("project-one")}});
    }

    standin::StandinService service;
    standin::InstallationsServer server{service};
};

TEST_F(SessionsInAppTest, TheDefaultAppBuildsTheComponentWithItsFirstSession) {
    BCNApp::configureWithOptions(options());
    const auto container = BCNApp::defaultApp()->container();
    ASSERT_TRUE(container);
    const auto provider = BCNComponentType::instanceForProtocol<BCNSessionsProvider>(
        BCNSessionsProvider::protocol(), *container);
    const auto sessions = std::dynamic_pointer_cast<Sessions>(provider);
    ASSERT_TRUE(sessions);
    EXPECT_TRUE(sessions->currentSessionId());
    // One instance per container.
    EXPECT_EQ(BCNComponentType::instanceForProtocol<BCNSessionsProvider>(
                  BCNSessionsProvider::protocol(), *container),
              provider);
}

TEST_F(SessionsInAppTest, TheInstallationLookupGivesTheAppsIdentifierAndToken) {
    BCNApp::configureWithOptions(options());
    InstallationsAdapter installations(BCNInstallations::installations());
    // The lookup blocks its (background) caller while the answers come on the main queue.
    auto identity =
        std::async(std::launch::async, [&] { return installations.installationIDAndToken(); });
    ASSERT_TRUE(test::runMainUntil(
        [&] { return identity.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        std::chrono::seconds(20)));
    const auto result = identity.get();
    ASSERT_TRUE(std::holds_alternative<InstallationsProtocol::Identity>(result));
    const auto& found = std::get<InstallationsProtocol::Identity>(result);
    EXPECT_EQ(found.installationID.size(), 22u);
    EXPECT_EQ(found.authToken, "standin-auth-token-1");
}

}  // namespace
}  // namespace pex
