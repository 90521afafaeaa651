#include "crashreporter/runtime/CRSHandler.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSProcess.h"
#include "crashreporter/runtime/CRSThreadStacks.h"
#include "platform/mach/ThreadParking.h"

// Where the workers wait: found by name in their recorded stacks (the test links with
// -rdynamic so `dladdr` sees it).
extern "C" __attribute__((noinline)) void crsTestParkedWorker(int fd, std::atomic<int>* ready) {
    ready->fetch_add(1);
    char byte = 0;
    while (read(fd, &byte, 1) < 0 && errno == EINTR) {
    }
    asm volatile("" ::: "memory");
}

namespace pex {
namespace {

// A context set up as at start-up: the image table filled (the unwinder needs it) and the
// read-only record protected.
class CRSHandlerTest : public test::CrashContextTest {
  protected:
    void SetUp() override {
        test::CrashContextTest::SetUp();
        CRSContextInitializeHost();
        CRSBinaryImageInit();
        CRSBinaryImageQueue().sync([] {});
        CRSContextCompleteInitialization();
    }
};

pid_t currentTid() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// Named threads parked in `crsTestParkedWorker` until the pool is destroyed.
class ParkedWorkers {
  public:
    ParkedWorkers(int count, bool blockParkSignal) {
        if (pipe(fds_) != 0) throw std::runtime_error("pipe");
        for (int i = 0; i < count; ++i) {
            threads_.emplace_back([this, i, blockParkSignal] {
                const std::string name =
                    (blockParkSignal ? "blocked-" : "worker-") + std::to_string(i);
                pthread_setname_np(pthread_self(), name.c_str());
                sigset_t park;
                sigemptyset(&park);
                sigaddset(&park, ThreadParking::signalNumber());
                if (blockParkSignal) pthread_sigmask(SIG_BLOCK, &park, nullptr);
                crsTestParkedWorker(fds_[0], &ready_);
                // A request that arrived while blocked is answered late, and must not park.
                if (blockParkSignal) pthread_sigmask(SIG_UNBLOCK, &park, nullptr);
            });
        }
        while (ready_.load() < count) std::this_thread::yield();
    }
    ~ParkedWorkers() {
        close(fds_[1]);  // every read ends
        for (std::thread& thread : threads_) thread.join();
        close(fds_[0]);
    }

  private:
    int fds_[2] = {-1, -1};
    std::atomic<int> ready_{0};
    std::vector<std::thread> threads_;
};

// A thread that keeps running with the suspend signal blocked, as a library's own worker does
// while it is busy (or waits for the processor on a loaded machine).
class SpinningBlockedWorker {
  public:
    SpinningBlockedWorker() {
        thread_ = std::thread([this] {
            pthread_setname_np(pthread_self(), "spinning-0");
            sigset_t park;
            sigemptyset(&park);
            sigaddset(&park, ThreadParking::signalNumber());
            pthread_sigmask(SIG_BLOCK, &park, nullptr);
            running_.store(true);
            while (!stop_.load(std::memory_order_relaxed)) {
            }
            // The request that arrived while blocked is answered late, and must not park.
            pthread_sigmask(SIG_UNBLOCK, &park, nullptr);
        });
        while (!running_.load()) std::this_thread::yield();
    }
    ~SpinningBlockedWorker() {
        stop_.store(true);
        thread_.join();
    }

  private:
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::vector<pid_t> taskThreads() {
    std::vector<pid_t> tids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        tids.push_back(std::stoi(entry.path().filename().string()));
    }
    return tids;
}

std::string symbolAt(std::uint64_t pc) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(pc), &info) == 0 || info.dli_sname == nullptr) return "";
    return info.dli_sname;
}

bool stackHolds(const nlohmann::json& thread, const std::string& symbolPart) {
    for (const auto& pc : thread["stacktrace"]) {
        if (symbolAt(pc.get<std::uint64_t>()).find(symbolPart) != std::string::npos) return true;
    }
    return false;
}

// The frames' names, for failure messages.
std::string describeStack(const nlohmann::json& thread) {
    std::string text;
    for (const auto& pc : thread["stacktrace"]) {
        const std::string symbol = symbolAt(pc.get<std::uint64_t>());
        text += (symbol.empty() ? std::to_string(pc.get<std::uint64_t>()) : symbol) + "\n";
    }
    return text;
}

struct CrashBody {
    nlohmann::json threads, threadNames, queueNames, stats, runtime, storage;
    std::vector<std::string> order;
};

// Runs the handler on this thread into a fresh record and reads the sections back.
CrashBody recordCrashBody(const std::filesystem::path& root, bool suspend) {
    const std::string path = (root / "signal.clsrecord").string();
    CRSFile file;
    EXPECT_TRUE(CRSFileInit(&file, path.c_str(), true));
    CRSHandler(&file, currentTid(), nullptr, suspend);
    CRSFileClose(&file);

    CrashBody body;
    const auto sections = CRSFileReadSections(path.c_str(), false);
    EXPECT_TRUE(sections);
    for (const nlohmann::json& section : sections.value_or(std::vector<nlohmann::json>{})) {
        const std::string name = section.begin().key();
        body.order.push_back(name);
        const nlohmann::json& value = section.begin().value();
        if (name == "threads") body.threads = value;
        if (name == "thread_names") body.threadNames = value;
        if (name == "dispatch_queue_names") body.queueNames = value;
        if (name == "process_stats") body.stats = value;
        if (name == "runtime") body.runtime = value;
        if (name == "storage") body.storage = value;
    }
    return body;
}

std::size_t indexOf(const std::vector<pid_t>& tids, pid_t tid) {
    for (std::size_t i = 0; i < tids.size(); ++i) {
        if (tids[i] == tid) return i;
    }
    return tids.size();
}

TEST_F(CRSHandlerTest, RecordsEveryThreadOfTheProcess) {
    ParkedWorkers workers(5, false);
    const std::vector<pid_t> tids = taskThreads();
    const CrashBody body = recordCrashBody(root(), true);

    EXPECT_EQ(body.order, (std::vector<std::string>{"threads", "runtime", "dispatch_queue_names",
                                                    "thread_names", "process_stats", "storage"}));
    ASSERT_EQ(body.threads.size(), tids.size());
    ASSERT_EQ(body.threadNames.size(), tids.size());
    EXPECT_EQ(body.queueNames, nlohmann::json(std::vector<std::string>(tids.size(), "")));

    const std::size_t self = indexOf(tids, currentTid());
    int crashedCount = 0;
    for (std::size_t i = 0; i < tids.size(); ++i) {
        const nlohmann::json& thread = body.threads[i];
        if (thread.value("crashed", false)) {
            ++crashedCount;
            EXPECT_EQ(i, self);
        }
        EXPECT_EQ(thread["registers"].size(), 21u) << "thread " << i;
        EXPECT_FALSE(thread["stacktrace"].empty()) << "thread " << i;
    }
    EXPECT_EQ(crashedCount, 1);
    // The handler's own thread is written from the registers of its caller.
    EXPECT_TRUE(stackHolds(body.threads[self], "CRSHandler")) << describeStack(body.threads[self]);

    std::vector<std::string> workerNames;
    for (std::size_t i = 0; i < tids.size(); ++i) {
        const std::string name = body.threadNames[i];
        if (name.rfind("worker-", 0) != 0) continue;
        workerNames.push_back(name);
        EXPECT_TRUE(stackHolds(body.threads[i], "crsTestParkedWorker"))
            << name << "\n"
            << describeStack(body.threads[i]);
    }
    std::sort(workerNames.begin(), workerNames.end());
    EXPECT_EQ(workerNames, (std::vector<std::string>{"worker-0", "worker-1", "worker-2", "worker-3",
                                                     "worker-4"}));

    for (const char* key : {"virtual", "resident", "active", "free_mem"}) {
        EXPECT_GT(body.stats[key].get<std::uint64_t>(), 0u) << key;
    }
    EXPECT_EQ(body.runtime, (nlohmann::json{{"objc_selector", ""},
                                            {"crash_info_entries", nlohmann::json::array()}}));
    // The file system of the home folder.
    struct statvfs home {};
    ASSERT_EQ(statvfs(std::getenv("HOME"), &home), 0);
    EXPECT_EQ(body.storage["total"], static_cast<std::uint64_t>(home.f_blocks) * home.f_frsize);
    // Free space moves with other users of the disk: within a GiB of what the test reads.
    EXPECT_NEAR(body.storage["free"].get<double>(),
                static_cast<double>(home.f_bavail) * home.f_frsize, 1024.0 * 1024 * 1024);
    EXPECT_LE(body.storage["free"], body.storage["total"]);
    EXPECT_TRUE(std::filesystem::exists(root() / "previously-crashed"));
}

// A thread that blocks the suspend signal (as the sound client's and GLib's own threads block
// every signal) could answer only once it unblocks it: it is skipped at once instead of waited
// for until the bound, counted, and written without its state.
TEST_F(CRSHandlerTest, SkipsAThreadThatBlocksTheSuspendSignalAndWritesItWithoutItsState) {
    ParkedWorkers workers(3, false);
    ParkedWorkers blocked(1, true);
    const std::vector<pid_t> tids = taskThreads();

    const auto start = std::chrono::steady_clock::now();
    const CrashBody body = recordCrashBody(root(), true);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::nanoseconds(kCRSThreadSuspendTimeoutNanoseconds));

    ASSERT_EQ(body.threads.size(), tids.size());
    int stopped = 0;
    pid_t blockedTid = 0;
    for (std::size_t i = 0; i < tids.size(); ++i) {
        const std::string name = body.threadNames[i];
        const nlohmann::json& thread = body.threads[i];
        if (name == "blocked-0") {
            blockedTid = tids[i];
            EXPECT_EQ(thread, (nlohmann::json{{"registers", nlohmann::json::object()},
                                              {"stacktrace", nlohmann::json::array()}}));
        } else if (name.rfind("worker-", 0) == 0) {
            EXPECT_TRUE(stackHolds(thread, "crsTestParkedWorker")) << name << "\n"
                                                                   << describeStack(thread);
            ++stopped;
        }
    }
    EXPECT_EQ(stopped, 3);
    const std::string others = std::to_string(tids.size() - 1);
    EXPECT_NE(sdkLog().find("Skipped 1 of " + others + " threads that block the suspend signal"),
              std::string::npos)
        << sdkLog();
    EXPECT_EQ(sdkLog().find("Unable to suspend"), std::string::npos) << sdkLog();
    // The log names the thread whose state is missing.
    ASSERT_NE(blockedTid, 0);
    EXPECT_NE(sdkLog().find("Failed to get thread state via thread_get_state for thread: " +
                            std::to_string(blockedTid) + "\n"),
              std::string::npos)
        << sdkLog();
}

// One that keeps running with it blocked is waited for only a moment (a thread just starting
// blocks every signal for microseconds), not until the bound.
TEST_F(CRSHandlerTest, SkipsAThreadThatRunsWithTheSuspendSignalBlockedAfterAMoment) {
    ParkedWorkers workers(2, false);
    SpinningBlockedWorker spinning;
    const std::vector<pid_t> tids = taskThreads();

    const auto start = std::chrono::steady_clock::now();
    const CrashBody body = recordCrashBody(root(), true);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::nanoseconds(kCRSThreadSuspendTimeoutNanoseconds));

    ASSERT_EQ(body.threads.size(), tids.size());
    bool written = false;
    for (std::size_t i = 0; i < tids.size(); ++i) {
        if (body.threadNames[i] != "spinning-0") continue;
        written = true;
        EXPECT_EQ(body.threads[i], (nlohmann::json{{"registers", nlohmann::json::object()},
                                                   {"stacktrace", nlohmann::json::array()}}));
    }
    EXPECT_TRUE(written);
    EXPECT_NE(sdkLog().find("Skipped 1 of "), std::string::npos) << sdkLog();
    EXPECT_EQ(sdkLog().find("Unable to suspend"), std::string::npos) << sdkLog();
}

TEST_F(CRSHandlerTest, KeepsEveryThreadsPlaceWhenOthersAreNotStopped) {
    ParkedWorkers workers(2, false);
    const std::vector<pid_t> tids = taskThreads();
    const CrashBody body = recordCrashBody(root(), false);

    ASSERT_EQ(body.threads.size(), tids.size());
    const std::size_t self = indexOf(tids, currentTid());
    for (std::size_t i = 0; i < tids.size(); ++i) {
        const nlohmann::json& thread = body.threads[i];
        if (i == self) {
            EXPECT_EQ(thread["crashed"], true);
            EXPECT_FALSE(thread["stacktrace"].empty());
        } else {
            // A state that could not be read is never written as one.
            EXPECT_TRUE(thread["registers"].empty()) << i;
            EXPECT_TRUE(thread["stacktrace"].empty()) << i;
        }
    }
    EXPECT_NE(sdkLog().find("Unable to get thread state"), std::string::npos);
}

TEST_F(CRSHandlerTest, FindsEveryStoppedThreadsStackBeforeRecordingIt) {
    CRSThreadStacksNoteCurrentThread();
    const ParkedWorkers workers(4, false);  // noted by no one: found in the memory map
    const auto process = std::make_unique<CRSProcess>();
    ASSERT_TRUE(CRSProcessInit(process.get(), currentTid(), nullptr));
    ASSERT_TRUE(CRSProcessSuspendAllOtherThreads(process.get()));
    CRSProcessFindThreadStacks(process.get());
    std::vector<std::uintptr_t> sps(process->threadCount, 0);
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        const greg_t* registers =
            ThreadParking::registersOf(&crsContext->writable->threadParking, process->threads[i]);
        if (registers != nullptr) sps[i] = static_cast<std::uintptr_t>(registers[REG_RSP]);
    }
    CRSProcessResumeAllOtherThreads(process.get());

    pthread_attr_t attributes;
    void* ownLow = nullptr;
    std::size_t ownSize = 0;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstack(&attributes, &ownLow, &ownSize);
    pthread_attr_destroy(&attributes);
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        SCOPED_TRACE(process->threads[i]);
        const std::uintptr_t low = process->stackLow[i];
        const std::uintptr_t high = process->stackHigh[i];
        if (process->threads[i] == currentTid()) {
            // Its own note: exactly its stack.
            EXPECT_EQ(low, reinterpret_cast<std::uintptr_t>(ownLow));
            EXPECT_EQ(high, reinterpret_cast<std::uintptr_t>(ownLow) + ownSize);
            continue;
        }
        ASSERT_NE(sps[i], 0u);
        EXPECT_LE(low, sps[i]);
        EXPECT_GT(high, sps[i]);
    }
}

}  // namespace
}  // namespace pex
