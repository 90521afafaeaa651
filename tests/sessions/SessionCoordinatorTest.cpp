#include "sessions/SessionCoordinator.h"

#include <future>

#include <gtest/gtest.h>

#include "../beacon-core/LogCapture.h"
#include "SessionsTestSupport.h"
#include "platform/foundation/ProcessInfo.h"

namespace pex {
namespace {

using Kind = BeaconSessionsError::Kind;
using test::WireMessage;

std::shared_ptr<SessionStartEvent> makeEvent() {
    static test::FakeAppInfo app;
    static test::FixedTime time;
    return std::make_shared<SessionStartEvent>(SessionInfo{"aa", "aa", true, 0}, app, time);
}

SessionStartResult attempt(SessionCoordinator& coordinator,
                           const std::shared_ptr<SessionStartEvent>& event) {
    std::promise<SessionStartResult> result;
    coordinator.attemptLoggingSessionStart(event,
                                           [&](SessionStartResult r) { result.set_value(r); });
    return result.get_future().get();
}

TEST(SessionCoordinatorTest, TheIdentityFillsTheEventBeforeItIsLogged) {
    auto installations = std::make_shared<test::FakeInstallations>();
    auto logger = std::make_shared<test::RecordingLogger>();
    SessionCoordinator coordinator(installations, logger);
    const auto event = makeEvent();
    EXPECT_FALSE(attempt(coordinator, event));
    ASSERT_EQ(logger->events().size(), 1u);
    const WireMessage session = WireMessage(event->transportBytes()).message(2);
    EXPECT_EQ(session.bytes(3), "installation-1");
    EXPECT_EQ(session.bytes(9), "token-1");
}

TEST(SessionCoordinatorTest, AFailedLookupStillSendsTheEventWithEmptyIdentity) {
    auto installations = std::make_shared<test::FakeInstallations>();
    installations->id.reset();
    installations->idError = Error::make("installations", 3);
    auto logger = std::make_shared<test::RecordingLogger>();
    SessionCoordinator coordinator(installations, logger);
    const auto event = makeEvent();
    const SessionStartResult result = attempt(coordinator, event);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->kind, Kind::SessionInstallationsError);
    EXPECT_EQ(result->underlying, installations->idError);
    ASSERT_EQ(logger->events().size(), 1u);
    const WireMessage session = WireMessage(event->transportBytes()).message(2);
    ASSERT_TRUE(session.has(3));
    ASSERT_TRUE(session.has(9));
    EXPECT_EQ(session.bytes(3), "");
    EXPECT_EQ(session.bytes(9), "");
}

TEST(SessionCoordinatorTest, ALoggerFailureIsATransportError) {
    auto installations = std::make_shared<test::FakeInstallations>();
    auto logger = std::make_shared<test::RecordingLogger>();
    logger->error = Error::make("transport", 9);
    SessionCoordinator coordinator(installations, logger);
    const SessionStartResult result = attempt(coordinator, makeEvent());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->kind, Kind::DataTransportError);
    EXPECT_EQ(result->underlying, logger->error);
}

// A transport that answers every send as scripted and keeps what it was given.
class ScriptedTransport : public BeaconTransportProtocol {
  public:
    bool written = true;
    ErrorRef error;
    std::vector<TXPEvent> sent;
    TXPEvent eventForTransport() override { return *TXPEvent::make("1974", 1001); }
    void sendDataEvent(const TXPEvent& event, TXPTransport::Completion onComplete) override {
        sent.push_back(event);
        onComplete(written, error);
    }
};

TEST(EventTXLoggerTest, TheTransportsAnswerBecomesTheResult) {
    struct Case {
        bool written;
        bool withError;
        std::optional<std::string> domain;
    };
    const Case cases[] = {{true, false, std::nullopt},
                          {false, false, kBeaconTransportProtocolErrorsDomain},
                          {false, true, "transport"},
                          {true, true, "transport"}};
    for (const Case& c : cases) {
        auto transport = std::make_shared<ScriptedTransport>();
        transport->written = c.written;
        if (c.withError) transport->error = Error::make("transport", 1);
        EventTXLogger logger(transport, nullptr);
        const auto event = makeEvent();
        ErrorRef outcome = Error::make("unset", 0);
        logger.logEvent(event, [&](ErrorRef error) { outcome = error; });
        EXPECT_EQ(outcome ? std::optional(outcome->domain()) : std::nullopt, c.domain);
        if (!c.withError && !c.written) {
            EXPECT_EQ(outcome->code(), writeFailure);
        }
        ASSERT_EQ(transport->sent.size(), 1u);
        EXPECT_EQ(transport->sent[0].qosTier(), TXPEventTierStandard);
        EXPECT_EQ(transport->sent[0].serializedDataObjectBytes(), event->transportBytes());
    }
}

TEST(DevEventConsoleLoggerTest, PrintsOnlyWithTheExactArgument) {
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"pexmora"}, false},
        {{"pexmora", "-BCNSessionsDebugEvents=1"}, false},
        {{"pexmora", "-BCNSessionsDebugEventsX"}, false},
        {{"pexmora", "-BCNSessionsDebugEvents"}, true},
    };
    for (const auto& [arguments, prints] : cases) {
        ProcessInfo::setArgumentsForTesting(arguments);
        test::LogCapture log;
        BCNLogSetLevel(BCNLoggerLevelDebug);
        bool completed = false;
        DevEventConsoleLogger("-BCNSessionsDebugEvents").logEvent(makeEvent(), [&](ErrorRef) {
            completed = true;
        });
        const auto lines = log.lines();
        EXPECT_FALSE(completed);
        ASSERT_EQ(lines.size(), prints ? 1u : 0u) << arguments.back();
        if (prints) {
            EXPECT_NE(lines[0].find("Printing Session Event due to \"-BCNSessionsDebugEvents\" "
                                    "command line argument\nSession Event:\n  event_type: "
                                    "SESSION_START\n  session_data\n    session_id: aa"),
                      std::string::npos)
                << lines[0];
        }
    }
    ProcessInfo::setArgumentsForTesting(std::nullopt);
}

}  // namespace
}  // namespace pex
