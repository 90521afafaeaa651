#include "crashreporter/runtime/CRSUserLogging.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../../beacon-core/LogCapture.h"
#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFileReader.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

// A context whose user-logging records point at the test's report folder.
class CRSUserLoggingTest : public test::CrashContextTest {
  protected:
    void start(const CRSContextInitData& initData = {}) {
        CRSReadWriteContext* writable = crsContext->writable;
        CRSUserLoggingInitStorages(&crsContext->readonly->logging, root().c_str(), initData,
                                   &writable->logging, &writable->errorsCount,
                                   &writable->customExceptionCount);
        CRSContextCompleteInitialization();
    }
    static void drain() {
        CRSUserLoggingQueue().sync([] {});
    }
    static CRSUserLoggingReadOnlyContext& storages() { return crsContext->readonly->logging; }
    static CRSUserLoggingWritableContext& state() { return crsContext->writable->logging; }

    // The members of each `section` line of a record file.
    std::vector<nlohmann::json> sections(const std::string& name, const char* section) const {
        std::vector<nlohmann::json> found;
        for (const auto& line : CRSFileParseSections(test::fileText(root() / name))) {
            if (line.contains(section)) found.push_back(line[section]);
        }
        return found;
    }
    bool exists(const std::string& name) const { return fs::exists(root() / name); }
    std::uintmax_t size(const std::string& name) const { return fs::file_size(root() / name); }

    static nlohmann::json keys(int count, int first = 0) {
        nlohmann::json dictionary = nlohmann::json::object();
        for (int i = first; i < first + count; ++i) dictionary["key" + std::to_string(i)] = i;
        return dictionary;
    }
};

TEST_F(CRSUserLoggingTest, KeysReadBackAsTheyWereSetAndRemoved) {
    start();
    CRSUserLoggingRecordUserKeysAndValues({{"name", "Ada"}, {"count", 3}, {"flag", true}});
    CRSUserLoggingRecordUserKeyValue(std::string("name"), "Grace");
    EXPECT_EQ(CRSUserLoggingGetCompactedKVEntries(&storages().userKVStorage, true),
              (nlohmann::json{{"name", "Grace"}, {"count", "3"}, {"flag", "true"}}));
    // On disk both texts are hex.
    const auto lines = sections("user_incremental_kv.clsrecord", "kv");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], (nlohmann::json{{"key", "6e616d65"}, {"value", "4772616365"}}));
    EXPECT_EQ(state().userKVCount, 4);
}

TEST_F(CRSUserLoggingTest, ARemovalCompactsAtOnce) {
    start();
    CRSUserLoggingRecordUserKeysAndValues({{"keep", "1"}, {"gone", "2"}});
    CRSUserLoggingRecordUserKeyValue(std::string("gone"), nullptr);
    drain();
    EXPECT_FALSE(exists("user_incremental_kv.clsrecord"));
    EXPECT_EQ(sections("user_compacted_kv.clsrecord", "kv"),
              (std::vector<nlohmann::json>{{{"key", "6b656570"}, {"value", "31"}}}));
    EXPECT_EQ(state().userKVCount, 0);
}

TEST_F(CRSUserLoggingTest, CompactionStartsAtTheSixtyFourthKeyAndKeepsTheLimits) {
    struct Case {
        const char* name;
        bool internal;
        int keysBefore;  // appended one call earlier, below the compaction threshold
        int keysLast;
        bool compacted;
        std::size_t kept;
        const char* truncatedLine;
    };
    const Case cases[] = {
        {"63 keys wait", false, 0, 63, false, 0, nullptr},
        {"the 64th key compacts", false, 63, 1, true, 64, nullptr},
        {"70 keys keep 64", false, 0, 70, true, 64,
         "Truncating 6 keys from KV set, which is above max 64"},
        {"internal keys keep 32", true, 0, 70, true, 32,
         "Truncating 38 keys from KV set, which is above max 32"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();  // each row: a fresh context over the emptied folder
        CRSContextInitData settings;
        settings.maxKeyValues = 100;  // internal keys ignore the setting
        if (!c.internal) settings.maxKeyValues = 64;
        start(settings);
        CRSUserLoggingKVStorage* storage =
            c.internal ? &storages().internalKVStorage : &storages().userKVStorage;
        int* counter = c.internal ? &state().internalKVCount : &state().userKVCount;
        const std::string prefix = c.internal ? "internal" : "user";
        if (c.keysBefore > 0)
            CRSUserLoggingRecordKeysAndValues(keys(c.keysBefore), storage, counter);
        CRSUserLoggingRecordKeysAndValues(keys(c.keysLast, c.keysBefore), storage, counter);
        drain();
        EXPECT_EQ(exists(prefix + "_compacted_kv.clsrecord"), c.compacted);
        EXPECT_EQ(exists(prefix + "_incremental_kv.clsrecord"), !c.compacted);
        if (c.compacted) {
            EXPECT_EQ(sections(prefix + "_compacted_kv.clsrecord", "kv").size(), c.kept);
            EXPECT_EQ(*counter, 0);
        }
        const std::string log = sdkLog();
        if (c.truncatedLine != nullptr)
            EXPECT_NE(log.find(c.truncatedLine), std::string::npos) << log;
        else
            EXPECT_EQ(log.find("Truncating"), std::string::npos) << log;
        for (const auto& entry : fs::directory_iterator(root())) fs::remove_all(entry.path());
    }
}

TEST_F(CRSUserLoggingTest, ACompactionThatCannotWriteKeepsEveryKey) {
    start();
    CRSUserLoggingRecordUserKeysAndValues({{"keep", "0"}, {"old", "1"}, {"gone", "x"}});
    CRSUserLoggingRecordUserKeyValue(std::string("gone"), nullptr);
    drain();
    ASSERT_TRUE(exists("user_compacted_kv.clsrecord"));
    // The next compaction cannot create its new file: the old compacted set must survive,
    // and so must the incremental entries written since.
    fs::create_directory(root() / "user_compacted_kv.clsrecord.tmp");
    CRSUserLoggingRecordUserKeysAndValues({{"new", "2"}, {"old", nullptr}, {"also", "3"}});
    drain();
    EXPECT_TRUE(exists("user_compacted_kv.clsrecord"));
    EXPECT_TRUE(exists("user_incremental_kv.clsrecord"));
    EXPECT_EQ(CRSUserLoggingGetCompactedKVEntries(&storages().userKVStorage, true),
              (nlohmann::json{{"keep", "0"}, {"new", "2"}, {"also", "3"}}));
    // Once it can, the compaction completes and leaves no temporary file behind.
    fs::remove(root() / "user_compacted_kv.clsrecord.tmp");
    CRSUserLoggingRecordUserKeyValue(std::string("also"), nullptr);
    drain();
    EXPECT_FALSE(exists("user_incremental_kv.clsrecord"));
    EXPECT_FALSE(exists("user_compacted_kv.clsrecord.tmp"));
    EXPECT_EQ(CRSUserLoggingGetCompactedKVEntries(&storages().userKVStorage, true),
              (nlohmann::json{{"keep", "0"}, {"new", "2"}}));
}

TEST_F(CRSUserLoggingTest, RefusesBadKeysAndEmptyDictionaries) {
    start();
    CRSUserLoggingRecordUserKeyValue(std::nullopt, "value");
    CRSUserLoggingRecordUserKeysAndValues(nlohmann::json::object());
    CRSUserLoggingRecordUserKeysAndValues(nlohmann::json::array({1, 2}));
    drain();
    EXPECT_FALSE(exists("user_incremental_kv.clsrecord"));
    const std::string log = sdkLog();
    EXPECT_NE(log.find("User provided bad key"), std::string::npos);
    EXPECT_NE(log.find("User provided empty key/value dictionary"), std::string::npos);
}

TEST_F(CRSUserLoggingTest, WritesTheStartUpInternalKeyWithoutACompleteContext) {
    CRSReadWriteContext* writable = crsContext->writable;
    CRSUserLoggingInitStorages(&crsContext->readonly->logging, root().c_str(), {},
                               &writable->logging, &writable->errorsCount,
                               &writable->customExceptionCount);
    CRSUserLoggingWriteInternalKeyValue("com.crashreporter.in-background", "0");
    CRSUserLoggingRecordInternalKeyValue(std::string("ignored"), "1");  // refused: not initialised
    const auto lines = sections("internal_incremental_kv.clsrecord", "kv");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(CRSFileHexDecodeString(lines[0]["key"].get<std::string>().c_str()),
              "com.crashreporter.in-background");
    EXPECT_EQ(lines[0]["value"], "30");
}

TEST_F(CRSUserLoggingTest, LongLinesAreCutToTheLimitWithAWarning) {
    test::LogCapture capture;
    start();
    CRSLog("%s", std::string(70000, 'x').c_str());
    const auto lines = sections("log_a.clsrecord", "log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(CRSFileHexDecodeString(lines[0]["msg"].get<std::string>().c_str()),
              std::string(64000, 'x'));
    // A cut never splits a character, so the message still decodes. (The first line passed
    // the limit, so this one goes to log_b.)
    CRSLog("%s%s", std::string(63999, 'y').c_str(), "\xc3\xa9");
    drain();
    const auto second = sections("log_b.clsrecord", "log");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(CRSFileHexDecodeString(second[0]["msg"].get<std::string>().c_str()),
              std::string(63999, 'y'));
    const auto logLines = capture.lines();
    ASSERT_EQ(logLines.size(), 2u);
    EXPECT_NE(logLines[0].find("WARNING: Attempted to write 70000 bytes, but 64000 is the maximum "
                               "size of the log. Truncating to 64000 bytes."),
              std::string::npos)
        << logLines[0];
}

TEST_F(CRSUserLoggingTest, LogFilesSwapOnlyOncePastTheLimit) {
    start();
    // A "log" line is 40 bytes plus the hex message (while milliseconds have 13 digits).
    CRSLog("%s", std::string(31980, 'a').c_str());
    drain();
    EXPECT_EQ(size("log_a.clsrecord"), 64000u);
    EXPECT_STREQ(state().activeUserLogPath, storages().logStorage.aPath);

    CRSLog("one byte over");
    drain();
    EXPECT_STREQ(state().activeUserLogPath, storages().logStorage.bPath);
    EXPECT_TRUE(exists("log_a.clsrecord"));
    EXPECT_FALSE(exists("log_b.clsrecord"));

    CRSLog("first in b");
    CRSLog("%s", std::string(32000, 'b').c_str());
    drain();
    EXPECT_STREQ(state().activeUserLogPath, storages().logStorage.aPath);
    EXPECT_FALSE(exists("log_a.clsrecord"));
    EXPECT_EQ(sections("log_b.clsrecord", "log").size(), 2u);
}

TEST_F(CRSUserLoggingTest, ConcurrentLinesStayWholeAndWithinTwoFiles) {
    CRSContextInitData settings;
    settings.maxLogSize = 2000;
    start(settings);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i) CRSLog("thread %d line %d", t, i);
        });
    }
    for (auto& thread : threads) thread.join();
    drain();
    // Every line parses, and no file grew past the limit by more than one line.
    for (const char* name : {"log_a.clsrecord", "log_b.clsrecord"}) {
        if (!exists(name)) continue;
        const std::string text = test::fileText(root() / name);
        EXPECT_EQ(sections(name, "log").size(),
                  static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
        EXPECT_LT(text.size(), 2000u + 100u);
    }
}

TEST_F(CRSUserLoggingTest, TheNinthErrorGoesToTheOtherFile) {
    start();
    const Error error("com.example.net", -1009, {{"reason", "offline"}});
    for (int i = 0; i < 8; ++i) CRSUserLoggingRecordError(&error, nullptr);
    drain();
    EXPECT_EQ(sections("errors_a.clsrecord", "error").size(), 8u);
    EXPECT_STREQ(state().activeErrorLogPath, storages().errorStorage.bPath);
    EXPECT_EQ(crsContext->writable->errorsCount, 0);

    CRSUserLoggingRecordError(&error, {{"screen", "settings"}});
    drain();
    const auto ninth = sections("errors_b.clsrecord", "error");
    ASSERT_EQ(ninth.size(), 1u);
    EXPECT_EQ(crsContext->writable->errorsCount, 1);
    EXPECT_EQ(ninth[0]["domain"], CRSFileHexEncodeString("com.example.net"));
    EXPECT_EQ(ninth[0]["code"], -1009);
    EXPECT_GT(ninth[0]["time"].get<std::uint64_t>(), 1700000000u);
    EXPECT_FALSE(ninth[0]["stacktrace"].empty());
    EXPECT_EQ(ninth[0]["info"], nlohmann::json::parse(R"([["726561736f6e","6f66666c696e65"]])"));
    EXPECT_EQ(ninth[0]["extra_info"],
              nlohmann::json::parse(R"([["73637265656e","73657474696e6773"]])"));
    EXPECT_FALSE(ninth[0].contains("rollouts"));
    EXPECT_FALSE(sections("errors_a.clsrecord", "error")[0].contains("extra_info"));
}

TEST_F(CRSUserLoggingTest, DisabledErrorsWriteNothing) {
    CRSContextInitData settings;
    settings.errorsEnabled = false;
    start(settings);
    const Error error("d", 1);
    CRSUserLoggingRecordError(&error, nullptr);
    CRSUserLoggingRecordError(nullptr, nullptr);
    drain();
    EXPECT_FALSE(exists("errors_a.clsrecord"));
}

TEST_F(CRSUserLoggingTest, BeforeInitialisationLinesGoToTheOrdinaryLog) {
    test::LogCapture capture;
    CRSLog("early %d", 7);
    const Error error("d", 1);
    CRSUserLoggingRecordError(&error, nullptr);
    CRSUserLoggingRecordUserKeyValue(std::string("k"), "v");
    CRSUserLoggingQueue().sync([] {});
    for (const auto& entry : fs::directory_iterator(root())) {
        EXPECT_NE(entry.path().extension(), ".clsrecord") << entry.path();
    }
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[BeaconCrashReporter][I-CRS000000] WARNING: CRSLog has been used "
                            "before (or concurrently with) CrashReporter initialization and "
                            "cannot be recorded. The message was: \nearly 7"),
              std::string::npos)
        << lines[0];
}

}  // namespace
}  // namespace pex
