#include "beacon-core/UTLLogger.h"

#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "beacon-core/UTLAppEnvironmentUtil.h"

namespace pex {
namespace {

using ::testing::ElementsAre;

// Counts how often it is turned into text: a dropped message must never do it.
struct CountingObject {
    int* descriptions;
    std::string description() const {
        ++*descriptions;
        return "object";
    }
};

class UTLLoggerTest : public ::testing::Test {
  protected:
    void TearDown() override { UTLAppEnvironmentUtil::setFromAppStoreForTesting(std::nullopt); }
    test::LogCapture capture;
};

TEST_F(UTLLoggerTest, TheDefaultLevelEmitsNoticeAndAboveOnly) {
    EXPECT_EQ(UTLLogGetLevel(), UTLLogLevelNotice);
    UTLLogError("s", "[C]", false, "I-T000003", "error");
    UTLLogWarning("s", "[C]", false, "I-T000004", "warning");
    UTLLogNotice("s", "[C]", false, "I-T000005", "notice");
    UTLLogInfo("s", "[C]", false, "I-T000006", "info");
    UTLLogDebug("s", "[C]", false, "I-T000007", "debug");
    EXPECT_THAT(capture.lines(),
                ElementsAre("(null) - [C][I-T000003] error", "(null) - [C][I-T000004] warning",
                            "(null) - [C][I-T000005] notice"));
    EXPECT_TRUE(UTLLogIsLoggable(UTLLogLevelNotice));
    EXPECT_FALSE(UTLLogIsLoggable(UTLLogLevelInfo));
}

TEST_F(UTLLoggerTest, ADroppedMessageFormatsNothing) {
    int descriptions = 0;
    UTLLogDebug("s", "[C]", false, "I-T000001", "%@", CountingObject{&descriptions});
    UTLLogInfo("s", "[C]", false, "I-T000001", "%@", CountingObject{&descriptions});
    EXPECT_EQ(descriptions, 0);
    UTLLogNotice("s", "[C]", false, "I-T000001", "%@", CountingObject{&descriptions});
    EXPECT_EQ(descriptions, 1);
    EXPECT_THAT(capture.lines(), ElementsAre("(null) - [C][I-T000001] object"));
}

TEST_F(UTLLoggerTest, LineCarriesVersionCategoryCodeAndTypeOfItsLevel) {
    UTLLogSetVersion("12.7.0");
    UTLLogSetLevel(UTLLogLevelDebug);
    UTLLogError("com.beacon", "[BeaconCore]", false, "I-COR000001", "Configuring %@ (%ld).",
                "the default app", 3L);
    UTLLogWarning("com.beacon", "[BeaconCore]", false, "I-COR000002", "w");
    UTLLogNotice("com.beacon", "[BeaconCore]", false, "I-COR000003", "n");
    UTLLogInfo("com.beacon", "[BeaconCore]", false, "I-COR000004", "i");
    UTLLogDebug("com.beacon", "[BeaconCore]", false, "I-COR000005", "d");
    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].text,
              "12.7.0 - [BeaconCore][I-COR000001] Configuring the default app (3).");
    EXPECT_EQ(entries[0].subsystem, "com.beacon");
    EXPECT_EQ(entries[0].category, "[BeaconCore]");
    const std::vector<OSLogType> types{OSLogType::Error, OSLogType::Default, OSLogType::Default,
                                       OSLogType::Info, OSLogType::Debug};
    for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(entries[i].type, types[i]) << i;
    // One handle per subsystem and category, made once.
    EXPECT_EQ(capture.backend().handlesCreated(), 1);
}

TEST_F(UTLLoggerTest, ATypeTheSystemLogDisablesIsNotEmitted) {
    capture.backend().disable(OSLogType::Debug);
    UTLLogSetLevel(UTLLogLevelDebug);
    UTLLogDebug("s", "[C]", false, "I-T000001", "hidden");
    UTLLogInfo("s", "[C]", false, "I-T000002", "shown");
    EXPECT_THAT(capture.lines(), ElementsAre("(null) - [C][I-T000002] shown"));
}

TEST_F(UTLLoggerTest, AnInvalidLevelIsRefusedWithAForcedError) {
    UTLLogSetLevel(UTLLogLevelError);  // errors pass, but the refusal is forced anyway
    for (int level : {8, 2, -1}) UTLLogSetLevel(level);
    EXPECT_EQ(UTLLogGetLevel(), UTLLogLevelError);
    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, "(null) - [UTLLogger][I-COR000023] Invalid logger level, 8");
    EXPECT_EQ(entries[0].subsystem, "com.beacon.utilities.logger");
    EXPECT_EQ(entries[0].type, OSLogType::Error);
    EXPECT_EQ(entries[2].text, "(null) - [UTLLogger][I-COR000023] Invalid logger level, -1");
}

TEST_F(UTLLoggerTest, ForcedMessagesPassAnyLevel) {
    UTLLogSetLevel(UTLLogLevelError);
    UTLLogDebug("s", "[C]", true, "I-T000001", "forced");
    UTLLogWarning("s", "[C]", false, "I-T000002", "filtered");
    EXPECT_THAT(capture.lines(), ElementsAre("(null) - [C][I-T000001] forced"));
}

TEST_F(UTLLoggerTest, AnAppStoreBuildTakesOnlyErrorAndWarningLevels) {
    UTLAppEnvironmentUtil::setFromAppStoreForTesting(true);
    UTLLogSetLevel(UTLLogLevelDebug);
    EXPECT_EQ(UTLLogGetLevel(), UTLLogLevelNotice);
    UTLLogForceDebug();
    EXPECT_FALSE(UTLLogIsLoggable(UTLLogLevelDebug));
    UTLLogSetLevel(UTLLogLevelError);
    EXPECT_EQ(UTLLogGetLevel(), UTLLogLevelError);

    UTLAppEnvironmentUtil::setFromAppStoreForTesting(false);
    UTLLogForceDebug();
    EXPECT_EQ(UTLLogGetLevel(), UTLLogLevelDebug);
    UTLLogSetLevel(UTLLogLevelError);
    EXPECT_TRUE(UTLLogIsLoggable(UTLLogLevelDebug));  // forced debug stays
}

TEST_F(UTLLoggerTest, LinesKeepTheOrderOfTheCallsOfEachThread) {
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                UTLLogNotice("s", "[T" + std::to_string(t) + "]", false, "I-T000001", "%d", i);
        });
    }
    for (auto& thread : threads) thread.join();
    std::vector<int> next(kThreads, 0);
    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const auto& entry : entries) {
        const int t = entry.category[2] - '0';
        EXPECT_EQ(entry.text,
                  "(null) - " + entry.category + "[I-T000001] " + std::to_string(next[t]++));
    }
    EXPECT_EQ(capture.backend().handlesCreated(), kThreads);
}

TEST_F(UTLLoggerTest, WrapperLogsUnderTheUtilitiesSubsystem) {
    UTLLoggerWrapper::logWithService(UTLLogLevelWarning, "[Svc]", "I-T000001", "%@!", "hi");
    UTLLoggerWrapper::logWithLevel(UTLLogLevelError, "sub", "[Cat]", "I-T000002", "%06ld", 42L);
    UTLLoggerWrapper::logWithLevel(UTLLogLevelInfo, "sub", "[Cat]", "I-T000003", "dropped");
    const auto entries = capture.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].subsystem, "com.beacon.utilities.logger");
    EXPECT_EQ(entries[0].text, "(null) - [Svc][I-T000001] hi!");
    EXPECT_EQ(entries[1].text, "(null) - [Cat][I-T000002] 000042");
    EXPECT_EQ(UTLMessageCode("I-UTL", 3), "I-UTL000003");
}

}  // namespace
}  // namespace pex
