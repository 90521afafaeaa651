#include "sessions/SessionStartEvent.h"

#include <gtest/gtest.h>

#include "../beacon-core/LogCapture.h"
#include "SessionsTestSupport.h"
#include "sessions/BCNSESNanoPBHelpers.h"
#include "sessions/SessionEventDescription.h"

namespace pex {
namespace {

using test::WireMessage;

const SessionInfo kSession{"11111111111111111111111111111111", "00000000000000000000000000000000",
                           true, 2};

TEST(SessionStartEventTest, AFreshEventEncodesItsFixedFieldsAndLeavesTheUnsetOnesOut) {
    test::FakeAppInfo app;
    test::FixedTime time;
    const SessionStartEvent event(kSession, app, time);
    const WireMessage message(event.transportBytes());

    EXPECT_EQ(message.numbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(message.number(1), 1u);  // SESSION_START

    const WireMessage session = message.message(2);
    EXPECT_EQ(session.bytes(1), kSession.sessionId);
    EXPECT_EQ(session.bytes(7), kSession.firstSessionId);
    EXPECT_EQ(session.number(8), 2u);
    EXPECT_EQ(session.number(4), time.micros);
    // Not looked up yet: the identity fields are absent, not empty.
    EXPECT_FALSE(session.has(3));
    EXPECT_FALSE(session.has(9));
    const WireMessage status = session.message(6);
    EXPECT_EQ(status.number(1), 1u);  // performance: SDK not installed
    EXPECT_EQ(status.number(2), 1u);  // crash reporter: SDK not installed
    EXPECT_FALSE(status.has(3));      // a sampling rate of 0 is not written

    const WireMessage application = message.message(3);
    EXPECT_FALSE(application.has(3));
    EXPECT_FALSE(application.has(4));
    EXPECT_FALSE(application.has(5));  // the one-of chose field 6
    EXPECT_EQ(application.bytes(1), "1:123:macos:abc");
    EXPECT_EQ(application.bytes(2), "Test Machine");
    EXPECT_EQ(application.bytes(7), "12.7.0");
    EXPECT_EQ(application.number(8), 3u);  // production
    EXPECT_EQ(application.bytes(9), "6.1");
    const WireMessage apple = application.message(6);
    EXPECT_EQ(apple.bytes(1), "2.1");
    EXPECT_EQ(apple.bytes(6), "57");
    EXPECT_EQ(apple.number(4), 1u);  // MACOS
    ASSERT_TRUE(apple.has(5));
    EXPECT_EQ(apple.field(5).wireType, 2);
    EXPECT_EQ(apple.bytes(5), "");  // written with length 0
    const WireMessage network = apple.message(3);
    EXPECT_EQ(network.number(1), 8u);
    EXPECT_FALSE(network.has(2));
}

TEST(SessionStartEventTest, EmptyIdentityFieldsAreWrittenWithLengthZero) {
    test::FakeAppInfo app;
    test::FixedTime time;
    SessionStartEvent event(kSession, app, time);
    event.setInstallationID("");
    event.setAuthenticationToken("");
    const WireMessage session = WireMessage(event.transportBytes()).message(2);
    ASSERT_TRUE(session.has(3));
    ASSERT_TRUE(session.has(9));
    EXPECT_EQ(session.bytes(3), "");
    EXPECT_EQ(session.bytes(9), "");
    // Replacing a field frees the old text and writes the new one once.
    event.setInstallationID("abc");
    const WireMessage replaced = WireMessage(event.transportBytes()).message(2);
    EXPECT_EQ(replaced.count(3), 1u);
    EXPECT_EQ(replaced.bytes(3), "abc");
}

TEST(SessionStartEventTest, PlatformNamesMapToOsNamesWithAWarningForUnknownOnes) {
    struct Case {
        const char* platform;
        int expected;
        bool warns;
    };
    const Case cases[] = {{"macos", 1, false},       {"MacOS", 1, false},
                          {"maccatalyst", 2, false}, {"ios_on_mac", 3, false},
                          {"IOS", 4, false},         {"tvos", 5, false},
                          {"watchos", 6, false},     {"ipados", 7, false},
                          {"visionos", 0, true},     {"", 0, true}};
    for (const Case& c : cases) {
        test::LogCapture log;
        EXPECT_EQ(SessionStartEvent::osNameFrom(c.platform), c.expected) << c.platform;
        const auto lines = log.entries();
        if (c.warns) {
            ASSERT_EQ(lines.size(), 1u) << c.platform;
            EXPECT_NE(lines[0].text.find(std::string("Found unknown OSName: \"") + c.platform +
                                         "\" while converting."),
                      std::string::npos)
                << lines[0].text;
        } else {
            EXPECT_TRUE(lines.empty()) << c.platform;
        }
    }
}

TEST(SessionStartEventTest, TheRunEnvironmentBecomesTheLogEnvironment) {
    const std::pair<std::optional<std::string>, int> cases[] = {
        {std::nullopt, 3}, {"  Staging ", 2}, {"AUTOPUSH", 1}, {"prod", 3}, {"stagin", 3}, {"", 3}};
    for (const auto& [variable, logEnvironment] : cases) {
        std::map<std::string, std::string> environment;
        if (variable) environment[ApplicationInfo::kRunEnvironmentVariable] = *variable;
        const ApplicationInfo app("1:2:macos:3", std::make_shared<test::FakeNetworkInfo>(),
                                  environment, std::nullopt);
        test::FixedTime time;
        const SessionStartEvent event(kSession, app, time);
        EXPECT_EQ(WireMessage(event.transportBytes()).message(3).number(8),
                  static_cast<std::uint64_t>(logEnvironment))
            << variable.value_or("(unset)");
    }
}

TEST(SessionStartEventTest, TheTextFormNamesEveryField) {
    test::FakeAppInfo app;
    test::FixedTime time;
    SessionStartEvent event(kSession, app, time);
    event.setInstallationID("inst");
    event.setAuthenticationToken("");
    event.setCrashReporterState(DataCollectionStateEnabled);
    event.setSamplingRate(0.5);
    const std::string expected =
        "SESSION_START"
        "\n  session_data"
        "\n    session_id: 11111111111111111111111111111111"
        "\n    first_session_id: 00000000000000000000000000000000"
        "\n    session_index: 2"
        "\n    event_timestamp_us: 1700000000000000"
        "\n    beacon_installation_id: inst"
        "\n    beacon_authentication_token:"
        "\n        <EMPTY>"
        "\n    data_collection_status"
        "\n      crashreporter: ENABLED"
        "\n      performance: SDK_NOT_INSTALLED"
        "\n      session_sampling_rate: 0.5"
        "\n  application_info"
        "\n    app_id: 1:123:macos:abc"
        "\n    session_sdk_version: 12.7.0"
        "\n    os_version: 6.1"
        "\n    device_model: Test Machine"
        "\n    development_platform_name: <NULL>"
        "\n    development_platform_version: <NULL>"
        "\n    apple_app_info"
        "\n      bundle_short_version: 2.1"
        "\n      app_build_version: 57"
        "\n      network_connection_info"
        "\n        network_type: 8"
        "\n        mobile_subtype: 0"
        "\n      os_name: MACOS"
        "\n      log_environment: PROD";
    EXPECT_EQ(describeSessionEvent(event.decoded()->proto()), expected);
    EXPECT_EQ(describeOsName(42),
              "Unrecognized OsName. Please update the beacon_appquality_sessions_OsName "
              "CustomStringConvertible extension");
    EXPECT_EQ(describeDataCollectionState(-1).rfind("Unrecognized DataCollectionState.", 0), 0u);
}

TEST(SessionStartEventTest, ByteArrayHelpersTreatAbsentAsEmpty) {
    pb_bytes_array_t* empty = BCNSESEncodeString(std::nullopt);
    pb_bytes_array_t* text = BCNSESEncodeString("héllo");
    ASSERT_NE(empty, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(empty->size, 0u);
    EXPECT_EQ(BCNSESDecodeString(empty), "");
    EXPECT_EQ(BCNSESDecodeString(text), "héllo");
    EXPECT_TRUE(BCNSESIsPBArrayEqual(nullptr, empty));
    EXPECT_FALSE(BCNSESIsPBArrayEqual(nullptr, text));
    EXPECT_TRUE(BCNSESIsPBStringEqual(text, "héllo"));
    EXPECT_FALSE(BCNSESIsPBDataEqual(text, "hello"));
    // Texts beyond the runtime's 16-bit lengths are refused rather than cut.
    EXPECT_EQ(BCNSESEncodeData(std::string(70'000, 'x')), nullptr);
    std::free(empty);
    std::free(text);
    EXPECT_EQ(BCNSESGetAppleApplicationInfoTag(), 6);
}

TEST(SessionStartEventTest, TheTimestampDropsTheSubSecondPart) {
    EXPECT_EQ(Time::microsFromSeconds(12.9), 12'000'000u);
    EXPECT_EQ(Time([] { return 12.9; }).eventTimestampMicros(), 12'000'000u);
    EXPECT_EQ(Time::microsFromSeconds(0.999), 0u);
    EXPECT_EQ(Time::microsFromSeconds(-5), 0u);
}

}  // namespace
}  // namespace pex
