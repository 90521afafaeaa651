#include "crashreporter/runtime/CRSException.h"

#include <signal.h>

#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ActiveReportFixture.h"
#include "CrashChildRunner.h"
#include "crashreporter/runtime/CRSContext.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

std::string hex(const std::string& text) {
    return CRSFileHexEncodeString(text.c_str());
}

class CRSExceptionChildTest : public ::testing::Test {
  protected:
    const fs::path& root() const { return dir_.path(); }

  private:
    test::TempDir dir_;
};

TEST_F(CRSExceptionChildTest, UncaughtExceptionsAreRecordedByKindThenAbortOnce) {
    const struct {
        const char* mode;
        const char* name;
        const char* reason;
    } cases[] = {
        {"throw-runtime-error", "std::runtime_error", "the disk is full"},
        {"throw-c-string", "const char *", "a C string"},
        {"throw-int", "int", ""},
        {"earlier-terminate", "std::runtime_error", "the disk is full"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const fs::path report = root() / c.mode;
        fs::create_directories(report);
        const ChildResult crashed = runChild(report, c.mode, "crash");
        EXPECT_EQ(crashed.signal, SIGABRT) << crashed.err;

        const auto record = sections(report / kCRSExceptionFileName);
        const auto exceptions = sectionsNamed(record, "exception");
        ASSERT_EQ(exceptions.size(), 1u);
        const nlohmann::json& exception = exceptions[0];
        EXPECT_EQ(exception["type"], "c++");
        EXPECT_EQ(exception["name"], hex(c.name));
        EXPECT_EQ(exception["reason"], hex(c.reason));
        EXPECT_GT(exception["time"].get<std::uint64_t>(), 1'600'000'000u);
        EXPECT_FALSE(exception.contains("frames"));
        // The whole process follows the exception's own line.
        for (const char* name :
             {"threads", "runtime", "thread_names", "process_stats", "storage"}) {
            EXPECT_EQ(sectionsNamed(record, name).size(), 1u) << name;
        }
        EXPECT_TRUE(fs::exists(report / "previously-crashed"));
        // The abort that ends the process is not recorded a second time.
        EXPECT_TRUE(sectionsNamed(sections(report / "signal.clsrecord"), "signal").empty());
    }
    // The handler that was there before runs too: the runtime's own prints what was thrown.
    EXPECT_NE(test::fileText(root() / "throw-int" / "throw-int.crash.err")
                  .find("terminate called after throwing an instance of 'int'"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(root() / "earlier-terminate" / "earlier-terminate"));
}

TEST_F(CRSExceptionChildTest, AnUncaughtExceptionIsRecordedOnTheThrowingThreadFromItsThrowSite) {
    const struct {
        const char* mode;
        const char* name;
        const char* reason;
        const char* site;  // the function the crashed stack starts in
    } cases[] = {
        {"worker-throw", "std::runtime_error", "thrown on a worker", "throwFromWorker"},
        // Under memory exhaustion: recording it must not need the heap.
        {"worker-bad-alloc", "std::bad_alloc", "std::bad_alloc", "exhaustMemory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
#if defined(__SANITIZE_ADDRESS__)
        // The address sanitizer ends a refused allocation in its own report instead of throwing.
        if (c.mode == std::string("worker-bad-alloc")) continue;
#endif
        const fs::path report = root() / c.mode;
        fs::create_directories(report);
        const ChildResult crashed = runChild(report, c.mode, "crash");
        EXPECT_EQ(crashed.signal, SIGABRT) << crashed.err;

        const auto record = sections(report / kCRSExceptionFileName);
        const auto exceptions = sectionsNamed(record, "exception");
        ASSERT_EQ(exceptions.size(), 1u);
        EXPECT_EQ(exceptions[0]["name"], hex(c.name));
        EXPECT_EQ(exceptions[0]["reason"], hex(c.reason));
        const auto threads = sectionsNamed(record, "threads");
        const auto names = sectionsNamed(record, "thread_names");
        ASSERT_EQ(threads.size(), 1u);
        ASSERT_EQ(names.size(), 1u);
        ASSERT_EQ(names[0].size(), threads[0].size());
        std::vector<std::size_t> crashedThreads;
        for (std::size_t i = 0; i < threads[0].size(); ++i) {
            if (threads[0][i].value("crashed", false)) crashedThreads.push_back(i);
        }
        ASSERT_EQ(crashedThreads.size(), 1u);
        const std::size_t thrower = crashedThreads[0];
        EXPECT_EQ(names[0][thrower], "thrower");
        // Every other thread was stopped and recorded too.
        EXPECT_GE(threads[0].size(), 12u);
        EXPECT_EQ(test::fileText(report / "sdk.log").find("Faking current thread"),
                  std::string::npos);

        // The next launch names the frames: the first is where the program threw.
        const ChildResult next = runChild(report, c.mode, "next");
        EXPECT_EQ(next.exitCode, 0) << next.err;
        const auto symbolicated =
            sectionsNamed(sections(report / "exception.clsrecord.symbolicated"), "threads");
        ASSERT_EQ(symbolicated.size(), 1u);
        ASSERT_GT(symbolicated[0].size(), thrower);
        const nlohmann::json& frames = symbolicated[0][thrower];
        ASSERT_FALSE(frames.empty());
        EXPECT_NE(frames[0]["symbol"].get<std::string>().find(c.site), std::string::npos)
            << frames.dump();
    }
}

class CRSExceptionTest : public test::ActiveReportTest {
  protected:
    static BCNExceptionModel model(const std::string& name, bool fatal = false) {
        BCNExceptionModel exception(name, "why " + name);
        exception.isFatal = fatal;
        BCNStackFrame frame = BCNStackFrame::stackFrameWithSymbol("main", "main.swift", 12);
        frame.address = 0x1000;
        frame.offset = 4;
        exception.stackTrace = {frame, BCNStackFrame::stackFrameWithAddress(0x2000)};
        return exception;
    }
    static void drain() {
        CRSUserLoggingQueue().sync([] {});
    }
    fs::path customA() const { return activeReport() / "custom_exception_a.clsrecord"; }
    fs::path customB() const { return activeReport() / "custom_exception_b.clsrecord"; }
};

TEST_F(CRSExceptionTest, CustomExceptionsAreWrittenInTurnToTwoFilesOfEightEach) {
    startContext();
    CRSExceptionRecordModel(model("first"), std::string(R"([{"rollout_id":"r"}])"));
    for (int i = 1; i < 9; ++i) CRSExceptionRecordModel(model("e" + std::to_string(i)), "not json");
    drain();

    const auto a = test::sectionsOf(customA(), "exception");
    ASSERT_EQ(a.size(), 8u);
    EXPECT_EQ(test::sectionsOf(customB(), "exception").size(), 1u);
    EXPECT_EQ(a[0]["type"], "custom");
    EXPECT_EQ(a[0]["name"], hex("first"));
    EXPECT_EQ(a[0]["reason"], hex("why first"));
    EXPECT_EQ(a[0]["frames"],
              nlohmann::json::parse(R"([{"pc":4096,"symbol":")" + hex("main") +
                                    R"(","offset":4,"file":")" + hex("main.swift") +
                                    R"(","line":12},{"pc":8192,"offset":0,"line":0}])"));
    EXPECT_EQ(a[0]["rollouts"], nlohmann::json::parse(R"({"rollouts":[{"rollout_id":"r"}]})"));
    // A rollouts text that is not JSON would break the line: it is left out.
    EXPECT_FALSE(a[1].contains("rollouts"));

    // Eight more fill the second file and the first starts again.
    for (int i = 0; i < 8; ++i) CRSExceptionRecordModel(model("more"), std::nullopt);
    drain();
    EXPECT_EQ(test::sectionsOf(customB(), "exception").size(), 8u);
    EXPECT_EQ(test::sectionsOf(customA(), "exception").size(), 1u);
}

TEST_F(CRSExceptionTest, NothingIsRecordedWhenCustomExceptionsAreOffOrBeforeSetUp) {
    CRSExceptionRecordModel(model("early"), std::nullopt);
    EXPECT_EQ(CRSExceptionRecordOnDemandModel(model("early"), 0, 0, false), std::nullopt);
    CRSContextInitData off;
    off.customExceptionsEnabled = false;
    startContext(off);
    CRSExceptionRecordModel(model("off"), std::nullopt);
    drain();
    EXPECT_FALSE(fs::exists(customA()));
    EXPECT_EQ(fileManager_.activePathContents().size(), 1u);
}

TEST_F(CRSExceptionTest, AnOnDemandExceptionGetsAReportOfItsOwn) {
    startContext();
    CRSExceptionRecordModel(model("earlier"), std::nullopt);
    drain();
    ASSERT_TRUE(fs::exists(customA()));

    for (const bool fatal : {true, false}) {
        SCOPED_TRACE(fatal);
        const auto path = CRSExceptionRecordOnDemandModel(model("on demand", fatal), 3, 2, true);
        ASSERT_TRUE(path.has_value());
        const fs::path report(*path);
        EXPECT_EQ(report.parent_path(), fs::path(fileManager_.activePath()));
        EXPECT_NE(report, activeReport());

        EXPECT_EQ(fs::exists(report / kCRSCustomFatalFileName), fatal);
        // The first copy took the active report's custom exception along.
        if (fatal) {
            EXPECT_EQ(test::sectionsOf(report / "custom_exception_a.clsrecord", "exception").size(),
                      1u);
        }
        const fs::path target =
            report / (fatal ? kCRSExceptionFileName : "custom_exception_a.clsrecord");
        const auto exceptions = test::sectionsOf(target, "exception");
        ASSERT_FALSE(exceptions.empty());
        EXPECT_EQ(exceptions.back()["type"], "custom");
        EXPECT_EQ(exceptions.back()["name"], hex("on demand"));
        EXPECT_EQ(exceptions.back()["frames"].size(), 2u);
        EXPECT_EQ(test::sectionsOf(target, "threads").size(), 1u);

        const auto kv = test::sectionsOf(report / "internal_incremental_kv.clsrecord", "kv");
        ASSERT_EQ(kv.size(), 2u);
        EXPECT_EQ(kv[0]["key"], hex(kCRSOnDemandRecordedKey));
        EXPECT_EQ(kv[1]["key"], hex(kCRSOnDemandDroppedKey));
        EXPECT_EQ(test::onDemandCounters(report), (std::vector<std::string>{"3", "2"}));

        // The active report's custom exceptions went with the copy.
        EXPECT_FALSE(fs::exists(customA()));
        EXPECT_FALSE(fs::exists(customB()));
        EXPECT_EQ(crsContext->writable->customExceptionCount, 0);
    }
    // The active report and the two new ones.
    EXPECT_EQ(fileManager_.activePathContents().size(), 3u);
}

void foreignTerminateHandler() {
    std::abort();
}

TEST_F(CRSExceptionTest, TheLateCheckNamesAForeignTerminateHandler) {
    startContext();
    const std::terminate_handler previous = std::set_terminate(CRSTerminateHandler);
    CRSExceptionCheckHandlers();
    EXPECT_FALSE(logged("std::get_terminate"));
    std::set_terminate(foreignTerminateHandler);
    CRSExceptionCheckHandlers();
    std::set_terminate(previous);
    EXPECT_TRUE(logged("Warning: std::get_terminate is '"));
}

}  // namespace
}  // namespace pex
