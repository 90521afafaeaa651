#include "crashreporter/runtime/CRSSignal.h"

#include <signal.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CrashChildRunner.h"
#include "CrashContextFixture.h"
#include "crashreporter/reports/CRSReportAdapter.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSThreadRecorder.h"

namespace pex {
namespace {

// Stands for "some positive code the kernel picks" where that depends on the machine.
constexpr int kFaultCode = 1 << 30;
// How far the free disk space may move between the crash and the test's own reading of it.
constexpr double kFreeSlack = 1024.0 * 1024 * 1024;

// The keys of the first `section` of a record file, in the order they were written.
std::vector<std::string> keysInOrder(const std::filesystem::path& file,
                                     const std::string& section) {
    std::istringstream lines(test::fileText(file));
    for (std::string line; std::getline(lines, line);) {
        const auto parsed = nlohmann::ordered_json::parse(line, nullptr, false);
        if (!parsed.is_object() || !parsed.contains(section)) continue;
        std::vector<std::string> keys;
        for (const auto& [key, value] : parsed[section].items()) keys.push_back(key);
        return keys;
    }
    return {};
}

class CRSSignalTest : public ::testing::Test {
  protected:
    const std::filesystem::path& root() const { return dir_.path(); }

  private:
    test::TempDir dir_;
};

TEST(CRSSignalNamesTest, UsesTheLinuxNumbersACodeNameOnlyForAnAbortAndTheKernelsCodeNames) {
    const struct {
        int signal;
        int code;
        const char* name;
        const char* codeName;
        const char* kernelCodeName;
    } cases[] = {
        {4, ILL_ILLOPN, "SIGILL", nullptr, "ILL_ILLOPN"},
        {5, TRAP_BRKPT, "SIGTRAP", nullptr, "TRAP_BRKPT"},
        {5, SI_KERNEL, "SIGTRAP", nullptr, "SI_KERNEL"},
        // However it was sent, an abort is named as one.
        {6, SI_TKILL, "SIGABRT", "ABORT", "SI_TKILL"},
        {6, SI_USER, "SIGABRT", "ABORT", "SI_USER"},
        {7, BUS_ADRERR, "SIGBUS", nullptr, "BUS_ADRERR"},
        {8, FPE_INTDIV, "SIGFPE", nullptr, "FPE_INTDIV"},
        {9, SI_USER, "UNKNOWN", nullptr, "SI_USER"},
        {11, SEGV_MAPERR, "SIGSEGV", nullptr, "SEGV_MAPERR"},
        {11, SEGV_ACCERR, "SIGSEGV", nullptr, "SEGV_ACCERR"},
        {11, SI_USER, "SIGSEGV", nullptr, "SI_USER"},
        {11, SI_QUEUE, "SIGSEGV", nullptr, "SI_QUEUE"},
        {11, SI_TKILL, "SIGSEGV", nullptr, "SI_TKILL"},
        {11, 77, "SIGSEGV", nullptr, nullptr},
        {31, 1, "SIGSYS", nullptr, "SYS_SECCOMP"},
        {12, SI_USER, "UNKNOWN", nullptr, "SI_USER"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.signal) + "/" + std::to_string(c.code));
        const char* name = nullptr;
        const char* codeName = "unset";
        CRSSignalLookupNames(c.signal, c.code, &name, &codeName);
        EXPECT_STREQ(name, c.name);
        EXPECT_STREQ(codeName, c.codeName);
        EXPECT_STREQ(CRSSignalKernelCodeName(c.signal, c.code), c.kernelCodeName);
    }
    std::vector<int> handled;
    CRSSignalForEachHandled([&](int index, int signal) {
        EXPECT_EQ(index, static_cast<int>(handled.size()));
        handled.push_back(signal);
    });
    EXPECT_EQ(handled,
              (std::vector<int>{SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP}));
}

TEST_F(CRSSignalTest, RecordsEachFatalSignalAndDiesByIt) {
    const struct {
        const char* mode;
        int signal;
        const char* name;
        const char* kernelCodeName;
        int code;  // kFaultCode: the kernel's own, positive
        bool workerCrashed;
        int killWith;
    } cases[] = {
        {"segv", SIGSEGV, "SIGSEGV", "SEGV_MAPERR", SEGV_MAPERR, false, 0},
        {"abort", SIGABRT, "SIGABRT", "SI_TKILL", SI_TKILL, false, 0},
        {"fpe", SIGFPE, "SIGFPE", "FPE_INTDIV", FPE_INTDIV, false, 0},
        {"ill", SIGILL, "SIGILL", "ILL_ILLOPN", ILL_ILLOPN, false, 0},
        {"bus", SIGBUS, "SIGBUS", "BUS_ADRERR", BUS_ADRERR, false, 0},
        // A breakpoint instruction is reported by the kernel itself, not as a trap code.
        {"trap", SIGTRAP, "SIGTRAP", "SI_KERNEL", SI_KERNEL, false, 0},
        {"overflow", SIGSEGV, "SIGSEGV", nullptr, kFaultCode, false, 0},
        {"worker-overflow", SIGSEGV, "SIGSEGV", nullptr, kFaultCode, true, 0},
        {"early-thread-overflow", SIGSEGV, "SIGSEGV", nullptr, kFaultCode, true, 0},
        {"worker-segv", SIGSEGV, "SIGSEGV", "SEGV_MAPERR", SEGV_MAPERR, true, 0},
        // On a thread whose alternate stack is another library's, too small for the record.
        {"small-altstack-segv", SIGSEGV, "SIGSEGV", "SEGV_MAPERR", SEGV_MAPERR, true, 0},
        // Sent by another process: the code says so, and there is no fault address.
        {"kill", SIGSEGV, "SIGSEGV", "SI_USER", SI_USER, false, SIGSEGV},
    };
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    struct statvfs homeStorage {};
    ASSERT_EQ(statvfs(home, &homeStorage), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const std::filesystem::path report = root() / c.mode;
        std::filesystem::create_directories(report);
        const ChildResult crashed = runChild(report, c.mode, "crash", c.killWith);
        EXPECT_EQ(crashed.signal, c.signal) << "exit " << crashed.exitCode << "\n" << crashed.err;

        const auto record = sections(report / "signal.clsrecord");
        const auto signal = sectionsNamed(record, "signal");
        ASSERT_EQ(signal.size(), 1u);
        EXPECT_EQ(signal[0]["number"], c.signal);
        EXPECT_EQ(signal[0]["name"], c.name);
        ASSERT_TRUE(signal[0]["code"].is_number_integer()) << signal[0].dump();
        const int code = signal[0]["code"].get<int>();
        // The code name is the abort's alone; the kernel's name for the code stands apart.
        EXPECT_EQ(signal[0]["code_name"],
                  c.signal == SIGABRT ? nlohmann::json("ABORT") : nlohmann::json());
        if (c.code == kFaultCode) {
            EXPECT_GT(code, 0);
            // Whatever the kernel chose, a fault's code has a name.
            EXPECT_TRUE(signal[0]["kernel_code_name"].is_string()) << signal[0].dump();
        } else {
            EXPECT_EQ(code, c.code);
            EXPECT_EQ(signal[0]["kernel_code_name"], c.kernelCodeName);
        }
        // Every field of the signal's information, its address too: for a signal this test
        // sent, those bytes hold the sender's pid and uid.
        EXPECT_EQ(keysInOrder(report / "signal.clsrecord", "signal"),
                  (std::vector<std::string>{"number", "code", "address", "name", "code_name",
                                            "errno", "time", "kernel_code_name"}))
            << signal[0].dump();
        if (c.killWith != 0) {
            EXPECT_EQ(signal[0]["address"].get<std::uint64_t>(),
                      std::uint64_t{getuid()} << 32 | static_cast<std::uint32_t>(getpid()));
        }
        const auto storage = sectionsNamed(record, "storage");
        ASSERT_EQ(storage.size(), 1u);
        const std::uint64_t total = storage[0]["total"].get<std::uint64_t>();
        EXPECT_EQ(total, static_cast<std::uint64_t>(homeStorage.f_blocks) * homeStorage.f_frsize);
        // Free space moves with other users of the disk: near what this test reads now.
        ASSERT_EQ(statvfs(home, &homeStorage), 0);
        EXPECT_NEAR(storage[0]["free"].get<double>(),
                    static_cast<double>(homeStorage.f_bavail) * homeStorage.f_frsize, kFreeSlack);
        EXPECT_LE(storage[0]["free"].get<std::uint64_t>(), total);

        const auto threads = sectionsNamed(record, "threads");
        ASSERT_EQ(threads.size(), 1u);
        int crashedCount = 0;
        std::size_t crashedIndex = 0;
        for (std::size_t i = 0; i < threads[0].size(); ++i) {
            if (threads[0][i].value("crashed", false)) {
                ++crashedCount;
                crashedIndex = i;
                EXPECT_FALSE(threads[0][i]["stacktrace"].empty());
            }
        }
        EXPECT_EQ(crashedCount, 1);
        // The main thread comes first in the list.
        EXPECT_EQ(crashedIndex != 0, c.workerCrashed);
        if (std::string(c.mode) == "worker-segv" || std::string(c.mode) == "small-altstack-segv") {
            EXPECT_GE(threads[0].size(), 12u);
        }
        for (const char* name : {"runtime", "thread_names", "process_stats", "storage"}) {
            EXPECT_EQ(sectionsNamed(record, name).size(), 1u) << name;
        }
        EXPECT_TRUE(std::filesystem::exists(report / "previously-crashed"));
        EXPECT_EQ(sections(report / "metadata.clsrecord").size(), 4u);
        EXPECT_FALSE(sectionsNamed(sections(report / "binary_images.clsrecord"), "load").empty());

        // The next launch finds the marker and reads the records back.
        const ChildResult next = runChild(report, c.mode, "next");
        EXPECT_EQ(next.exitCode, 0);
        EXPECT_NE(next.out.find("identity\n"), std::string::npos);
        EXPECT_NE(next.out.find("signal\nthreads\n"), std::string::npos);
    }
}

TEST_F(CRSSignalTest, CallsAnEarlierHandlerExactlyOnce) {
    for (const auto& [mode, killWith] :
         {std::pair{"earlier-handler", 0}, std::pair{"kill-earlier-handler", SIGSEGV},
          std::pair{"earlier-handler-altstack", 0}}) {
        SCOPED_TRACE(mode);
        const std::filesystem::path report = root() / mode;
        std::filesystem::create_directories(report);
        const ChildResult crashed = runChild(report, mode, "crash", killWith);
        EXPECT_EQ(crashed.signal, SIGSEGV) << crashed.err;
        EXPECT_EQ(test::fileText(report / "earlier-handler"), "called\n");
        EXPECT_EQ(sectionsNamed(sections(report / "signal.clsrecord"), "signal").size(), 1u);
    }
}

// The handler leaves blocked what the thread blocked, apart from the signals the record
// needs to come back to it.
TEST_F(CRSSignalTest, UnblocksOnlyTheHandledSignalsWhileRecording) {
    const ChildResult crashed = runChild(root(), "earlier-handler-mask", "crash");
    EXPECT_EQ(crashed.signal, SIGSEGV) << "exit " << crashed.exitCode << "\n" << crashed.err;
    EXPECT_EQ(test::fileText(root() / "earlier-handler-mask"),
              "SIGUSR1 blocked, SIGSEGV unblocked\n");
}

// A fault of the thread that records the crash ends the process by the signal (not by an exit
// status), and leaves the part of the record written so far.
TEST_F(CRSSignalTest, AFaultOfTheRecordingThreadEndsTheProcessByTheSignal) {
    const ChildResult crashed = runChild(root(), "recording-faults", "crash");
    EXPECT_EQ(crashed.signal, SIGSEGV) << "exit " << crashed.exitCode << "\n" << crashed.err;
    EXPECT_NE(test::fileText(root() / "sdk.log").find("ending the process by signal 11"),
              std::string::npos)
        << test::fileText(root() / "sdk.log");
}

// Another thread faults (or throws) while the main thread's crash is being recorded: it waits,
// the first record is completed and the process dies by the first signal, without exit
// handlers and without a second record.
TEST_F(CRSSignalTest, ASecondFailureWhileRecordingWaitsForTheFirstRecord) {
    for (const char* mode : {"second-fault", "second-throw"}) {
        SCOPED_TRACE(mode);
        const std::filesystem::path report = root() / mode;
        std::filesystem::create_directories(report);
        const ChildResult crashed = runChild(report, mode, "crash");
        EXPECT_EQ(crashed.signal, SIGSEGV) << "exit " << crashed.exitCode << "\n" << crashed.err;
        const auto record = sections(report / "signal.clsrecord");
        EXPECT_EQ(sectionsNamed(record, "signal").size(), 1u);
        const auto threads = sectionsNamed(record, "threads");
        ASSERT_EQ(threads.size(), 1u);
        ASSERT_GE(threads[0].size(), 2u);
        EXPECT_TRUE(threads[0][0].value("crashed", false));
        for (const char* name : {"runtime", "thread_names", "process_stats", "storage"}) {
            EXPECT_EQ(sectionsNamed(record, name).size(), 1u) << name;
        }
        EXPECT_TRUE(std::filesystem::exists(report / "previously-crashed"));
        EXPECT_FALSE(std::filesystem::exists(report / "orderly-exit"));
        EXPECT_FALSE(std::filesystem::exists(report / "exception.clsrecord"));
    }
}

TEST_F(CRSSignalTest, WarnsWhenAnotherHandlerReplacedOurs) {
    const ChildResult result = runChild(root(), "replace-handler", "crash");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(
        result.err.find("[CrashReporter] The signal SIGBUS has a non-CrashReporter handler ("),
        std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("This will interfere with reporting.\n"), std::string::npos);
    EXPECT_EQ(result.err.find("The signal SIGSEGV"), std::string::npos);
}

// The next launch resolves the crashed thread's addresses: functions with internal linkage come
// from the program's own symbol table, C++ names are demangled and keep their mangled form.
TEST_F(CRSSignalTest, TheNextLaunchSymbolicatesTheCrashedThread) {
    const struct {
        const char* mode;
        const char* function;  // a frame of the crashed thread, demangled
        const char* library;
    } cases[] = {
        {"segv", "(anonymous namespace)::crash(std::", "crs_crash_child"},
        {"abort", "abort", nullptr},
        {"overflow", "(anonymous namespace)::overflowStack(int)", "crs_crash_child"},
        {"worker-segv", "(anonymous namespace)::crash(std::", "crs_crash_child"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const std::filesystem::path report = root() / c.mode;
        std::filesystem::create_directories(report);
        runChild(report, c.mode, "crash");
        ASSERT_EQ(runChild(report, c.mode, "next").exitCode, 0);

        const auto recorded = sectionsNamed(sections(report / "signal.clsrecord"), "threads");
        const auto resolved =
            sectionsNamed(sections(report / "signal.clsrecord.symbolicated"), "threads");
        ASSERT_EQ(recorded.size(), 1u);
        ASSERT_EQ(resolved.size(), 1u);
        ASSERT_EQ(resolved[0].size(), recorded[0].size());
        std::size_t crashed = 0;
        while (crashed < recorded[0].size() && !recorded[0][crashed].value("crashed", false)) {
            ++crashed;
        }
        ASSERT_LT(crashed, recorded[0].size());
        const auto& frames = resolved[0][crashed];
        ASSERT_EQ(frames.size(), recorded[0][crashed]["stacktrace"].size());

        bool found = false;
        for (const auto& frame : frames) {
            const std::string symbol = frame["symbol"].get<std::string>();
            if (symbol.rfind(c.function, 0) != 0) continue;
            found = true;
            if (symbol.rfind("_Z", 0) != 0 && symbol.find("::") != std::string::npos) {
                EXPECT_EQ(frame["raw_symbol"].get<std::string>().rfind("_Z", 0), 0u) << symbol;
            } else {
                EXPECT_FALSE(frame.contains("raw_symbol")) << symbol;
            }
            if (c.library != nullptr) {
                EXPECT_EQ(frame["library"], c.library);
            }
            EXPECT_GT(frame["offset"].get<std::uint64_t>(), 0u);
        }
        EXPECT_TRUE(found) << frames.dump(1);
        // Every thread's stack is whole: it ends at the thread's entry, in the C library for
        // a thread (its start routine), at the program's entry for the main thread.
        for (std::size_t i = 0; i < resolved[0].size(); ++i) {
            const auto& stack = resolved[0][i];
            ASSERT_FALSE(stack.empty()) << i;
            const auto& outermost = stack.back();
            EXPECT_TRUE(outermost["library"] == "libc.so.6" || outermost["symbol"] == "_start")
                << i << ": " << stack.dump(1);
        }

        // The report message sends the records and the companion, never the SDK's own log.
        ASSERT_TRUE(std::filesystem::exists(report / "sdk.log"));
        const CRSReportAdapter adapter(report.string(), "app", nullptr, std::nullopt, std::nullopt);
        const auto sent = adapter.clsRecordFilePaths();
        for (const char* name : {"binary_images.clsrecord", "metadata.clsrecord",
                                 "signal.clsrecord", "signal.clsrecord.symbolicated"}) {
            EXPECT_NE(std::find(sent.begin(), sent.end(), (report / name).string()), sent.end())
                << name;
        }
        EXPECT_EQ(sent.size(), 4u);
        EXPECT_GT(adapter.transportBytes().size(),
                  std::filesystem::file_size(report / "signal.clsrecord.symbolicated"));
    }
}

TEST_F(CRSSignalTest, AnOverflowedStackKeepsItsFaultFramesTheRecursionFoldedAndItsEntry) {
    const struct {
        const char* mode;
        const char* caller;  // a frame below the recursion
        const char* entry;   // the outermost frame's symbol, or its library
    } cases[] = {
        {"overflow", "main", "_start"},
        {"worker-overflow", "pex::WorkerPool::State::workerLoop()", "libc.so.6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const std::filesystem::path report = root() / c.mode;
        std::filesystem::create_directories(report);
        EXPECT_EQ(runChild(report, c.mode, "crash").signal, SIGSEGV);
        ASSERT_EQ(runChild(report, c.mode, "next").exitCode, 0);
        const auto recorded = sectionsNamed(sections(report / "signal.clsrecord"), "threads");
        const auto resolved =
            sectionsNamed(sections(report / "signal.clsrecord.symbolicated"), "threads");
        ASSERT_EQ(recorded.size(), 1u);
        ASSERT_EQ(resolved.size(), 1u);
        std::size_t crashed = 0;
        while (crashed < recorded[0].size() && !recorded[0][crashed].value("crashed", false)) {
            ++crashed;
        }
        ASSERT_LT(crashed, recorded[0].size());
        const nlohmann::json& thread = recorded[0][crashed];

        // Some fifteen thousand frames of half a kilobyte fill the stack, all but the first
        // few of them one return address: folded into a count, nothing is cut.
        ASSERT_TRUE(thread.contains("repeated_pc")) << thread.dump();
        EXPECT_GT(thread["repeat_count"].get<std::uint64_t>(), 10'000u);
        EXPECT_FALSE(thread.contains("frames_omitted")) << thread.dump();
        const auto& stack = thread["stacktrace"];
        EXPECT_EQ(static_cast<std::uint32_t>(
                      std::count(stack.begin(), stack.end(), thread["repeated_pc"])),
                  kCRSRecursionRepeatLimit);
        const auto& frames = resolved[0][crashed];
        const auto symbol = [&](std::size_t i) { return frames[i]["symbol"].get<std::string>(); };
        const auto recursive = [&](std::size_t i) {
            return symbol(i).rfind("(anonymous namespace)::overflowStack(int)", 0) == 0;
        };
        // The fault and the recursion's first frames.
        for (std::size_t i = 0; i <= kCRSRecursionRepeatLimit; ++i) {
            ASSERT_TRUE(recursive(i)) << i << ": " << symbol(i);
        }
        // Then how the thread got there, down to its entry.
        std::size_t below = kCRSRecursionRepeatLimit;
        while (below < frames.size() && recursive(below)) ++below;
        ASSERT_LT(below, frames.size());
        EXPECT_EQ(frames[below]["library"], "crs_crash_child");
        bool caller = false;
        for (std::size_t i = below; i < frames.size(); ++i) caller |= symbol(i) == c.caller;
        EXPECT_TRUE(caller) << frames.dump(1);
        const auto& outermost = frames.back();
        EXPECT_TRUE(outermost["symbol"] == c.entry || outermost["library"] == c.entry)
            << frames.dump(1);
    }
}

}  // namespace
}  // namespace pex
