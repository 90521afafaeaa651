#include "beacon-core/BCNHeartbeatLogger.h"

#include <future>

#include <gtest/gtest.h>

#include "beacon-core/BCNApp.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using namespace std::chrono;

const system_clock::time_point kJan2{seconds(1704153600)};

class BCNHeartbeatLoggerTest : public test::IsolatedTest {
  protected:
    BCNHeartbeatLogger makeLogger() {
        return BCNHeartbeatLogger(
            "1:1:linux:1", [this] { return agent; }, [this] { return now; });
    }
    std::string agent = "bcn-ios/12.7.0";
    system_clock::time_point now = kJan2 + hours(12);
};

TEST_F(BCNHeartbeatLoggerTest, HeaderValueConsumesTheHeartbeats) {
    BCNHeartbeatLogger logger = makeLogger();
    EXPECT_FALSE(logger.headerValue());  // fresh installation: no header at all
    logger.log();
    const auto value = logger.headerValue();
    ASSERT_TRUE(value);
    EXPECT_FALSE(value->empty());
    EXPECT_FALSE(logger.headerValue());
}

TEST_F(BCNHeartbeatLoggerTest, HeartbeatCodeForToday) {
    BCNHeartbeatLogger logger = makeLogger();
    EXPECT_EQ(logger.heartbeatCodeForToday(), BCNHeartbeatInfoCode::None);
    logger.log();
    EXPECT_EQ(logger.heartbeatCodeForToday(), BCNHeartbeatInfoCode::Combined);
    EXPECT_EQ(logger.heartbeatCodeForToday(), BCNHeartbeatInfoCode::None);
}

TEST_F(BCNHeartbeatLoggerTest, AChangedUserAgentShowsInTheNextAcceptedHeartbeat) {
    BCNHeartbeatLogger logger = makeLogger();
    logger.log();
    agent = "bcn-ios/12.7.0 bcn-install/12.7.0";
    logger.log();  // same day: nothing new
    now += hours(24);
    logger.log();
    const auto payload = logger.flushHeartbeatsIntoPayload().heartbeatsPayload();
    ASSERT_EQ(payload.userAgentPayloads().size(), 2u);
    EXPECT_EQ(payload.userAgentPayloads()[0].agent, "bcn-ios/12.7.0");
    EXPECT_EQ(payload.userAgentPayloads()[1].agent, "bcn-ios/12.7.0 bcn-install/12.7.0");
}

TEST_F(BCNHeartbeatLoggerTest, AsyncHeaderValue) {
    BCNHeartbeatLogger logger = makeLogger();
    logger.log();
    std::promise<std::optional<std::string>> first, second;
    logger.asyncHeaderValueWithCompletionHandler([&](auto value) { first.set_value(value); });
    logger.asyncHeaderValueWithCompletionHandler([&](auto value) { second.set_value(value); });
    EXPECT_TRUE(first.get_future().get());
    EXPECT_FALSE(second.get_future().get());
}

TEST_F(BCNHeartbeatLoggerTest, TheDefaultProviderReadsTheApplicationsUserAgent) {
    const std::string text = BCNHeartbeatLogger::currentUserAgentProvider()();
    EXPECT_EQ(text, BCNApp::beaconUserAgent());
    EXPECT_NE(text.find("bcn-ios/12.7.0"), std::string::npos);
}

}  // namespace
}  // namespace pex
