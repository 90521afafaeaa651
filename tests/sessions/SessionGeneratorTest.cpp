#include "sessions/SessionGenerator.h"

#include <regex>

#include <gtest/gtest.h>

#include "SessionsTestSupport.h"
#include "sessions/SessionInitiator.h"

namespace pex {
namespace {

TEST(SessionGeneratorTest, SessionsCountFromZeroAndKeepTheFirstIdentifier) {
    SessionGenerator generator(true);
    EXPECT_FALSE(generator.currentSession());
    const SessionInfo first = generator.generateNewSession();
    const SessionInfo second = generator.generateNewSession();
    const SessionInfo third = generator.generateNewSession();
    EXPECT_EQ(first.sessionIndex, 0);
    EXPECT_EQ(second.sessionIndex, 1);
    EXPECT_EQ(third.sessionIndex, 2);
    for (const SessionInfo& session : {first, second, third}) {
        EXPECT_EQ(session.firstSessionId, first.sessionId);
        EXPECT_TRUE(std::regex_match(session.sessionId, std::regex("[0-9a-f]{32}")))
            << session.sessionId;
        EXPECT_EQ(session.sessionId[12], '4');  // a version-4 identifier
    }
    EXPECT_NE(first.sessionId, second.sessionId);
    EXPECT_NE(second.sessionId, third.sessionId);
    EXPECT_EQ(generator.currentSession(), third);
}

TEST(SessionGeneratorTest, TheSamplingDecisionIsTakenOnceForEverySession) {
    SessionGenerator sampledOut(false);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(sampledOut.generateNewSession().shouldDispatchEvents);
}

TEST(SessionGeneratorTest, TheRateIsComparedWithADrawFromZeroToOne) {
    struct Case {
        double rate;
        std::uint64_t draw;
        bool collects;
    };
    constexpr std::uint64_t top = SessionGenerator::kDrawRange;
    const Case cases[] = {
        {1.0, top, true},     {1.0, 0, true},
        {1.5, top, true},     {0.0, 0, true},
        {0.0, 1, false},      {0.0, top, false},
        {-0.0001, 0, false},  {-1, 0, false},
        {0.5, top / 2, true}, {0.5, top / 2 + 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SessionGenerator::collectEvents(c.rate, c.draw), c.collects)
            << c.rate << " " << c.draw;
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(SessionGenerator::collectEvents(1.0));
        EXPECT_FALSE(SessionGenerator::collectEvents(-1.0));
    }
}

class SessionInitiatorTest : public ::testing::Test {
  protected:
    SessionInitiatorTest() {
        initiator.setInitiateSessionStart([this] { ++starts; });
    }
    void stayAway(double seconds) {
        initiator.appBackgrounded();
        now += std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds));
        initiator.appForegrounded();
    }

    test::FakeSettings settings;
    Clock::TimePoint now{std::chrono::hours(1)};
    SessionInitiator initiator{settings, [this] { return now; }};
    int starts = 0;
};

TEST_F(SessionInitiatorTest, OnlyAnAbsenceLongerThanTheTimeoutStartsASession) {
    initiator.appForegrounded();  // never in the background yet
    EXPECT_EQ(starts, 0);
    stayAway(1800);
    EXPECT_EQ(starts, 0);
    stayAway(1800.001);
    EXPECT_EQ(starts, 1);
    // The timeout is read at each return.
    settings.timeout = 0;
    stayAway(0.001);
    EXPECT_EQ(starts, 2);
    stayAway(0);
    EXPECT_EQ(starts, 2);
}

TEST_F(SessionInitiatorTest, TheBackgroundTimeIsNotResetByComingBack) {
    initiator.appBackgrounded();
    now += std::chrono::seconds(1801);
    initiator.appForegrounded();
    initiator.appForegrounded();  // a second activation without a resign in between
    EXPECT_EQ(starts, 2);
}

}  // namespace
}  // namespace pex
