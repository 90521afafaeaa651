#include "sessions/InstallationsProtocol.h"

#include <future>

#include <gtest/gtest.h>

#include "SessionsTestSupport.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {

using Identity = InstallationsProtocol::Identity;
using Kind = BeaconSessionsError::Kind;

TEST(InstallationsProtocolTest, BothAnswersTogetherGiveTheIdentity) {
    test::FakeInstallations installations;
    const auto result = installations.installationIDAndToken();
    ASSERT_TRUE(std::holds_alternative<Identity>(result));
    EXPECT_EQ(std::get<Identity>(result).installationID, "installation-1");
    EXPECT_EQ(std::get<Identity>(result).authToken, "token-1");

    installations.token.reset();  // no token: an empty one
    const auto withoutToken = installations.installationIDAndToken();
    ASSERT_TRUE(std::holds_alternative<Identity>(withoutToken));
    EXPECT_EQ(std::get<Identity>(withoutToken).authToken, "");
}

TEST(InstallationsProtocolTest, AnIdentifierErrorWinsOverAToken) {
    test::FakeInstallations installations;
    installations.id.reset();
    installations.idError = Error::make("installations", 7);
    const auto result = installations.installationIDAndToken();
    ASSERT_TRUE(std::holds_alternative<BeaconSessionsError>(result));
    EXPECT_EQ(std::get<BeaconSessionsError>(result).kind, Kind::SessionInstallationsError);
    EXPECT_EQ(std::get<BeaconSessionsError>(result).underlying, installations.idError);
}

TEST(InstallationsProtocolTest, AMissingTokenTimesOutAfterTenSecondsOnTheClock) {
    ScopedManualClock clock;
    test::FakeInstallations installations;
    installations.answerToken = false;
    auto waiting =
        std::async(std::launch::async, [&] { return installations.installationIDAndToken(); });
    // The wait has scheduled its deadline once the call is under way.
    while (clock.clock().pendingCount() == 0) std::this_thread::yield();
    clock.clock().advance(std::chrono::milliseconds(9999));
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    clock.clock().advance(std::chrono::milliseconds(1));
    const auto result = waiting.get();
    ASSERT_TRUE(std::holds_alternative<BeaconSessionsError>(result));
    EXPECT_EQ(std::get<BeaconSessionsError>(result).kind, Kind::SessionInstallationsTimeOutError);
}

}  // namespace
}  // namespace pex
