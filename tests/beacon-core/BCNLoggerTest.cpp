#include "beacon-core/BCNLogger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon-core/BCNConfiguration.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using ::testing::ElementsAre;

class BCNLoggerTest : public test::IsolatedTest {
  protected:
    ~BCNLoggerTest() override { ProcessInfo::setArgumentsForTesting(std::nullopt); }

    // A new process launched with `arguments`: the loggers start over, the settings stay.
    void launch(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "/usr/bin/pexmora");
        ProcessInfo::setArgumentsForTesting(arguments);
        UTLLogFlush();
        UTLLogResetForTesting();
        BCNLogResetForTesting();
    }

    // Logs one line at each level and returns the codes that came out.
    std::vector<std::string> codesLogged() {
        const auto before = capture.entries().size();
        BCNLogError(kBCNLoggerCore, "I-COR000003", "e");
        BCNLogWarning(kBCNLoggerCore, "I-COR000004", "w");
        BCNLogNotice(kBCNLoggerCore, "I-COR000005", "n");
        BCNLogInfo(kBCNLoggerCore, "I-COR000006", "i");
        BCNLogDebug(kBCNLoggerCore, "I-COR000007", "d");
        std::vector<std::string> codes;
        const auto entries = capture.entries();
        for (auto i = before; i < entries.size(); ++i)
            codes.push_back(entries[i].text.substr(entries[i].text.find("[I-") + 1, 11));
        return codes;
    }

    bool remembered() { return UserDefaults::standard().boolean(kBCNDebugModeDefaultsKey); }

    test::LogCapture capture;
};

TEST_F(BCNLoggerTest, WithoutArgumentsOnlyNoticeAndAboveAreEmitted) {
    launch({});
    EXPECT_THAT(codesLogged(), ElementsAre("I-COR000003", "I-COR000004", "I-COR000005"));
    EXPECT_EQ(capture.entries().front().text, "12.7.0 - [BeaconCore][I-COR000003] e");
    EXPECT_EQ(capture.entries().front().subsystem, "com.beacon");
    EXPECT_FALSE(remembered());
}

TEST_F(BCNLoggerTest, DebugEnabledIsRememberedUntilALaunchWithDebugDisabled) {
    launch({"-BCNDebugEnabled"});
    EXPECT_EQ(codesLogged().size(), 5u);
    EXPECT_TRUE(remembered());

    launch({});  // a later launch without the argument keeps debug on
    EXPECT_EQ(codesLogged().size(), 5u);

    launch({"-BCNDebugDisabled"});
    EXPECT_EQ(codesLogged().size(), 3u);
    EXPECT_FALSE(UserDefaults::standard().contains(kBCNDebugModeDefaultsKey));

    launch({});
    EXPECT_EQ(codesLogged().size(), 3u);
}

TEST_F(BCNLoggerTest, DebugDisabledWinsOverDebugEnabled) {
    UserDefaults::standard().set(kBCNDebugModeDefaultsKey, true);
    launch({"-BCNDebugEnabled", "-BCNDebugDisabled"});
    EXPECT_EQ(codesLogged().size(), 3u);
    EXPECT_FALSE(remembered());
}

TEST_F(BCNLoggerTest, ArgumentsMatchOnlyWhole) {
    launch({"-BCNDebugEnabledX", "x-BCNDebugEnabled"});
    EXPECT_EQ(codesLogged().size(), 3u);
}

TEST_F(BCNLoggerTest, LevelSettersAndChecks) {
    launch({});
    BCNSetLoggerLevelError();
    EXPECT_EQ(BCNLogGetLevel(), BCNLoggerLevelError);
    EXPECT_TRUE(BCNIsLoggableLevelError());
    EXPECT_FALSE(BCNIsLoggableLevelWarning());
    BCNSetLoggerLevelWarning();
    EXPECT_TRUE(BCNIsLoggableLevelWarning());
    EXPECT_FALSE(BCNIsLoggableLevelNotice());
    BCNSetLoggerLevelDebug();
    EXPECT_TRUE(BCNIsLoggableLevelDebug());
    BCNSetLoggerLevelNotice();
    EXPECT_FALSE(BCNIsLoggableLevelDebug());

    BCNLogSetLevel(8);
    EXPECT_EQ(BCNLogGetLevel(), BCNLoggerLevelNotice);
    EXPECT_EQ(capture.entries().back().text,
              "12.7.0 - [UTLLogger][I-COR000023] Invalid logger level, 8");
}

TEST_F(BCNLoggerTest, AnalyticsDebugModeForcesOnlyAnalyticsLines) {
    launch({});
    EXPECT_FALSE(BCNLogIsLoggable(BCNLoggerLevelDebug, true));
    BCNLogSetAnalyticsDebugMode(true);
    EXPECT_TRUE(BCNLogIsLoggable(BCNLoggerLevelDebug, true));
    EXPECT_FALSE(BCNLogIsLoggable(BCNLoggerLevelDebug, false));
    BCNLogDebug(kBCNLoggerAnalytics, "I-ANA000001", "analytics");
    BCNLogDebug(kBCNLoggerCore, "I-COR000001", "core");
    EXPECT_THAT(capture.lines(), ElementsAre("12.7.0 - [BeaconAnalytics][I-ANA000001] analytics"));
}

TEST_F(BCNLoggerTest, WrapperPrintsItsMessageUnformatted) {
    launch({});
    BCNLoggerWrapper::logWithLevel(BCNLoggerLevelWarning, "[BeaconSessions]", "I-SES000001",
                                   "100% of %@ and %ld");
    BCNLoggerWrapper::logWithLevel(BCNLoggerLevelDebug, "[BeaconSessions]", "I-SES000002", "x");
    EXPECT_THAT(capture.lines(),
                ElementsAre("12.7.0 - [BeaconSessions][I-SES000001] 100% of %@ and %ld"));
}

TEST_F(BCNLoggerTest, ConfigurationSetsTheLevelAndRefusesAnInvalidOne) {
    launch({});
    BCNConfiguration::shared().setLoggerLevel(BCNLoggerLevelWarning);
    EXPECT_EQ(BCNConfiguration::shared().loggerLevel(), BCNLoggerLevelWarning);
    try {
        BCNConfiguration::shared().setLoggerLevel(9);
        ADD_FAILURE() << "an invalid level was taken";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), Exception::kInternalInconsistency);
        EXPECT_EQ(e.reason(), "Invalid logger level, 9");
    }
    EXPECT_EQ(BCNConfiguration::shared().loggerLevel(), BCNLoggerLevelWarning);
}

}  // namespace
}  // namespace pex
