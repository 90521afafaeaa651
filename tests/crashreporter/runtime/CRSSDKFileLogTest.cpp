#include "crashreporter/runtime/CRSSDKFileLog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"

namespace pex {
namespace {

using CRSSDKFileLogTest = test::CrashContextTest;

// A null string the compiler cannot see through.
const char* noString() {
    return std::getenv("PEXMORA_TEST_VARIABLE_THAT_IS_NEVER_SET");
}

TEST_F(CRSSDKFileLogTest, FormatsEachConversionByHand) {
    CRSSDKFileLog(CRSSDKLogLevelWarn, "d=%d,%d,%d u=%u x=%x\n", -42, INT32_MIN, 7, 4000000000u,
                  0xbeefu);
    CRSSDKFileLog(CRSSDKLogLevelWarn, "llu=%llu lu=%lu lld=%lld ld=%ld llx=%llx lx=%lx\n",
                  static_cast<unsigned long long>(UINT64_MAX), 7ul,
                  static_cast<long long>(INT64_MIN), -5l, 0xabcull, 0x1ful);
    CRSSDKFileLog(CRSSDKLogLevelWarn, "p=%p s=%s null=%s i=%i pct=%% end\n",
                  reinterpret_cast<void*>(0x7fff1234abcdull), "text", noString(), 5);
    CRSSDKFileLog(CRSSDKLogLevelWarn, "no newline");
    CRSSDKFileLog(CRSSDKLogLevelWarn, " continues %u\n", 0u);
    EXPECT_EQ(sdkLog(),
              "d=-42,-2147483648,7 u=4000000000 x=beef\n"
              "llu=18446744073709551615 lu=7 lld=-9223372036854775808 ld=-5 llx=abc lx=1f\n"
              "p=0x7fff1234abcd s=text null=(null) i=%i pct=%% end\n"
              "no newline continues 0\n");
}

TEST_F(CRSSDKFileLogTest, DropsMessagesBelowTheLevelThreshold) {
    crsContext->writable->internalLogLevel = CRSSDKLogLevelWarn;
    CRSSDKLogDebug("debug %d\n", 1);
    CRSSDKLogInfo("info %d\n", 2);
    CRSSDKLogWarn("warn %d\n", 3);
    CRSSDKLogError("error %d\n", 4);
    const std::regex expected(
        "WARN  \\[TestBody:[0-9]+\\] warn 3\n"
        "ERROR \\[TestBody:[0-9]+\\] error 4\n");
    EXPECT_TRUE(std::regex_match(sdkLog(), expected)) << sdkLog();
}

// How many of the process's descriptors are open on `path`.
int descriptorsOpenOn(const std::filesystem::path& path) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) ++count;
    }
    return count;
}

TEST_F(CRSSDKFileLogTest, ConcurrentMessagesOpenTheLogOnceAndStayWhole) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) {
                CRSSDKLogInfo("thread %d message %d with some text to make it longer\n", t, i);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(descriptorsOpenOn(root() / "sdk.log"), 1);

    // Each message went out in one write, so no two lines are mixed.
    std::istringstream lines(sdkLog());
    const std::regex whole(
        "INFO  \\[operator\\(\\):[0-9]+\\] thread [0-7] message [0-9]+ with some text to make "
        "it longer");
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
    }
    EXPECT_EQ(count, 400);
}

TEST_F(CRSSDKFileLogTest, KeepsLongMessagesWhole) {
    const std::string path(5000, 'x');
    CRSSDKLogInfo("path %s end\n", path.c_str());
    const std::string log = sdkLog();
    EXPECT_NE(log.find("path " + path + " end\n"), std::string::npos);
}

TEST_F(CRSSDKFileLogTest, WritesFromASignalHandler) {
    struct sigaction action {};
    action.sa_handler = [](int) { CRSSDKLogError("in handler %d\n", SIGUSR2); };
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR2, &action, &previous), 0);
    raise(SIGUSR2);
    sigaction(SIGUSR2, &previous, nullptr);
    EXPECT_NE(sdkLog().find("] in handler 12\n"), std::string::npos) << sdkLog();
}

// An opening that does not finish (here the log is a pipe nobody reads yet) holds another
// thread's message only up to the wait bound; that message is dropped, the opener's is kept.
TEST_F(CRSSDKFileLogTest, AMessageWaitsForAnotherThreadsOpeningOnlyWithinTheBound) {
    const std::filesystem::path log = root() / "sdk.log";
    std::filesystem::remove(log);
    ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
    std::thread opener([] { CRSSDKLogError("opened late\n"); });
    std::atomic_ref<int> state(crsContext->writable->internalLogOpenState);
    while (state.load() == 0) std::this_thread::yield();

    CRSSDKFileLogSetOpenWait(0);
    auto waiting = std::async(std::launch::async, [] { CRSSDKLogError("while opening\n"); });
    const bool returned = waiting.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    CRSSDKFileLogSetOpenWait(kCRSSDKLogOpenWaitNanoseconds);
    EXPECT_TRUE(returned) << "the message waited for the opening without bound";

    const int reader = open(log.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    opener.join();
    waiting.wait();
    std::string written(4096, '\0');
    const ssize_t got = read(reader, written.data(), written.size());
    // Later messages of this process (the next test's set-up logs before it replaces the
    // context) would write into a pipe without a reader: they go nowhere instead.
    const int nowhere = open("/dev/null", O_WRONLY);
    ASSERT_GE(nowhere, 0);
    dup2(nowhere, crsContext->writable->internalLogFd);
    close(nowhere);
    close(reader);
    written.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    EXPECT_NE(written.find("] opened late\n"), std::string::npos) << written;
    EXPECT_EQ(written.find("while opening"), std::string::npos) << written;
}

TEST_F(CRSSDKFileLogTest, StartsEmptyForEachReportAndIsSilentWithoutAContext) {
    CRSSDKLogWarn("from the previous launch\n");
    ASSERT_FALSE(sdkLog().empty());
    ASSERT_TRUE(CRSContextAllocate());
    CRSContextSetRootPath(root().c_str());
    EXPECT_EQ(sdkLog(), "");

    CRSContext* saved = crsContext;
    crsContext = nullptr;
    CRSSDKLogError("lost\n");
    crsContext = saved;
    EXPECT_EQ(sdkLog(), "");
}

}  // namespace
}  // namespace pex
