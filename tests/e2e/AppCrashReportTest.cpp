// The application's own crashes, from end to end, one row per kind of crash: a crash test
// build of Pexmora (the real application with its hosts moved to this row's stand-in) crashes
// once crash reporting has started; at its next start it uploads the report to the stand-in
// over real HTTP. Each row reads the uploaded report back: the threads, the crashed one and its
// symbolicated stack, what the record says about the signal or exception, and that no crash
// folder is left behind.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "standin-service/CrashSettingsServer.h"
#include "standin-service/InstallationsServer.h"
#include "standin-service/StandinService.h"
#include "standin-service/TelemetryServer.h"
#include "support/ChildLauncher.h"
#include "support/CrashReportMessage.h"
#include "support/CrashTestAppLaunch.h"
#include "support/PulseAudioServer.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

enum class On { any, main, worker };
enum class Record { signal, exception };

struct CrashKind {
    const char* name = nullptr;
    const char* mode = nullptr;                 // the crash test build's PEXMORA_TEST_CRASH
    int sent = 0;                               // the signal this test sends from outside, if any
    int dies = 0;                               // the signal the process dies by
    On on = On::any;                            // the crashed thread
    const char* site = nullptr;                 // a symbol among the crashed thread's first frames
    int firstFrames = 3;                        // how many frames "first" is
    const char* outer = nullptr;                // a symbol anywhere below, for a deep stack
    const char* library = "pexmora-crashtest";  // the site's library
    bool recursion = false;                     // a direct recursion, folded in the record
    Record record = Record::signal;
    // The record's description of the crash: the kernel's name for the signal's code and the
    // fault address, or the exception's type name and reason.
    std::vector<std::string> codeNames;
    std::optional<std::uint64_t> address;
    bool anyAddress = false;  // an address, whatever it is (the end of a stack)
    const char* exceptionName = nullptr;
    const char* reason = nullptr;
    // Libraries (file name beginnings) none of whose frames may come before the site.
    std::vector<std::string> notBeforeSite;
};

// gtest names a failing row by this.
void PrintTo(const CrashKind& kind, std::ostream* out) {
    *out << kind.name;
}

CrashKind crashKind(const char* name, const char* mode, int dies, On on, const char* site) {
    CrashKind kind;
    kind.name = name;
    kind.mode = mode;
    kind.dies = dies;
    kind.on = on;
    kind.site = site;
    return kind;
}

CrashKind sentFromOutside(const char* name, int number, const char* codeName) {
    CrashKind kind = crashKind(name, "await-signal", number, On::any, nullptr);
    kind.sent = number;
    kind.codeNames = {codeName};
    return kind;
}

CrashKind nullStore(const char* name, const char* mode, On on) {
    CrashKind kind = crashKind(name, mode, SIGSEGV, on, "pexmoraCrashTestStoreToNull");
    kind.codeNames = {"SEGV_MAPERR"};
    kind.address = 0;
    return kind;
}

CrashKind stackOverflow(const char* name, const char* mode, On on) {
    CrashKind kind = crashKind(name, mode, SIGSEGV, on, "pexmoraCrashTestRecurse");
    kind.outer = "pexmoraCrashTestOverflowStack";
    kind.recursion = true;
    // Past a main stack's end nothing is mapped; a thread's stack ends in a guard page.
    kind.codeNames = {"SEGV_MAPERR", "SEGV_ACCERR"};
    kind.anyAddress = true;
    return kind;
}

CrashKind uncaught(const char* name, const char* mode, const char* site, const char* type,
                   const char* reason) {
    CrashKind kind = crashKind(name, mode, SIGABRT, On::worker, site);
    // The throw's own frames (the runtime's throw and terminate, an allocation's) come first.
    kind.firstFrames = 8;
    kind.record = Record::exception;
    kind.exceptionName = type;
    kind.reason = reason;
    return kind;
}

// Thrown out of a function that may not throw: the unwinder's and the C++ runtime's frames
// come before the throw site, and none of them is recorded.
CrashKind noexceptUncaught() {
    CrashKind kind =
        uncaught("NoexceptUncaughtException", "worker-noexcept-exception", "pexmoraCrashTestThrow",
                 "std::runtime_error", "pexmora crash test: uncaught");
    kind.notBeforeSite = {"libgcc_s", "libstdc++"};
    return kind;
}

std::vector<CrashKind> crashKinds() {
    CrashKind late = nullStore("LateLibraryFault", "late-library-fault", On::main);
    late.site = "pexmoraLateLibraryStoreToNull";
    late.library = "libpexmora-crashtest-late.so";
    return {
        sentFromOutside("SentSIGSEGV", SIGSEGV, "SI_USER"),
        sentFromOutside("SentSIGBUS", SIGBUS, "SI_USER"),
        sentFromOutside("SentSIGFPE", SIGFPE, "SI_USER"),
        sentFromOutside("SentSIGILL", SIGILL, "SI_USER"),
        sentFromOutside("SentSIGTRAP", SIGTRAP, "SI_USER"),
        // However it was sent, an abort is named as one ("code_name").
        sentFromOutside("SentSIGABRT", SIGABRT, "SI_USER"),
        nullStore("MainNullStore", "main-null-store", On::main),
        nullStore("WorkerNullStore", "worker-null-store", On::worker),
        nullStore("TwoThreadsFaultTogether", "two-threads-fault", On::worker),
        stackOverflow("MainStackOverflow", "main-stack-overflow", On::main),
        stackOverflow("WorkerStackOverflow", "worker-stack-overflow", On::worker),
        stackOverflow("EarlyThreadStackOverflow", "early-thread-stack-overflow", On::worker),
        uncaught("WorkerUncaughtException", "worker-uncaught-exception", "pexmoraCrashTestThrow",
                 "std::runtime_error", "pexmora crash test: uncaught"),
        uncaught("BadAllocUnderSmallAddressSpace", "bad-alloc", "pexmoraCrashTestExhaustMemory",
                 "std::bad_alloc", "std::bad_alloc"),
        late,
        // On the sound client's own thread, which blocks every signal.
        nullStore("SoundCallbackNullStore", "sound-callback-null-store", On::worker),
        noexceptUncaught(),
    };
}

std::string fromHex(const std::string& hex) {
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        text.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return text;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t entriesIn(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) return 0;
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder, error), fs::directory_iterator()));
}

class AppCrashReportTest : public ::testing::TestWithParam<CrashKind> {
  protected:
    static void SetUpTestSuite() {
        // No core files: a crash here is the test's own doing.
        const rlimit none{0, 0};
        setrlimit(RLIMIT_CORE, &none);
    }

    void SetUp() override {
        // A sound server of the row's own: its client threads are part of every crash.
        test::PulseAudioServer::Options options;
        options.defaultSource = "speakers.monitor";
        sound_ = std::make_unique<test::PulseAudioServer>(options);
        ASSERT_TRUE(sound_->isRunning()) << sound_->log();
        service_.start();
        telemetry_ = std::make_unique<standin::TelemetryServer>(service_);
        settings_ = std::make_unique<standin::CrashSettingsServer>(service_);
        installations_ = std::make_unique<standin::InstallationsServer>(service_);
    }

    fs::path home() const { return machine_.path() / "home"; }
    fs::path logOf(const char* run) const { return machine_.path() / (std::string(run) + ".log"); }
    fs::path reportsRoot() const {
        return home() / ".cache" / "Pexmora" / "com.crashreporter.data" / "com.pexmora.app" / "v5" /
               "reports";
    }

    // Starts the application in the row's home; its output goes to the run's log.
    pid_t launch(const char* run, const char* crash) {
        test::ChildLaunch launch = test::crashTestAppLaunch(
            PEXMORA_CRASHTEST, home().string(), service_.origin(), sound_->serverAddress());
        launch.environment["PEXMORA_TEST_LATE_LIBRARY"] = PEXMORA_CRASHTEST_LATE_LIBRARY;
        if (crash) launch.environment["PEXMORA_TEST_CRASH"] = std::string(crash);
        launch.writeTo(1, logOf(run).string()).duplicate(1, 2);
        return test::launchChild(launch);
    }

    static bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    // The record files of the one crash report uploaded so far, by name; empty while none is.
    std::map<std::string, std::string> uploadedReport() const {
        std::map<std::string, std::string> files;
        for (const auto& upload : telemetry_->uploads()) {
            if (upload.path != "/telemetry/crash" || !upload.decoded) continue;
            for (const auto& batch : upload.sourceBatches) {
                if (batch.sourceID != 1206) continue;
                for (const auto& event : batch.events) {
                    const auto report = test::crashReportFiles(event.payload);
                    EXPECT_TRUE(report) << "an upload that does not decode";
                    EXPECT_TRUE(files.empty()) << "a second crash report";
                    for (const auto& file : report.value_or(std::vector<test::CrashReportFile>{}))
                        files[file.name] = file.contents;
                }
            }
        }
        return files;
    }

    // Run 1 crashes the way `kind` says, run 2 uploads the report; then the report is checked.
    void crashAndCheck(const CrashKind& kind) {
        int status = 0;
        const pid_t crashing = launch("crash", kind.mode);
        ASSERT_GT(crashing, 0) << "could not start " << PEXMORA_CRASHTEST;
        if (kind.sent != 0) {
            const bool ready = waitFor(
                [&] {
                    return readFile(logOf("crash")).find("crash reporting started") !=
                           std::string::npos;
                },
                60s);
            if (!ready) test::waitForChild(crashing, status, 0s);
            ASSERT_TRUE(ready) << readFile(logOf("crash"));
            kill(crashing, kind.sent);
        }
        ASSERT_TRUE(test::waitForChild(crashing, status, 60s)) << "it did not crash\n"
                                                               << readFile(logOf("crash"));
        ASSERT_TRUE(WIFSIGNALED(status)) << "exited with " << WEXITSTATUS(status) << "\n"
                                         << readFile(logOf("crash"));
        EXPECT_EQ(WTERMSIG(status), kind.dies) << strsignal(WTERMSIG(status));
        EXPECT_TRUE(uploadedReport().empty());
        ASSERT_EQ(entriesIn(reportsRoot() / "active"), 1u) << "the crashed run's report folder";
        const fs::path crashed = fs::directory_iterator(reportsRoot() / "active")->path();
        // Every other thread was stopped or, asleep with every signal blocked, skipped at once:
        // none was waited for until the bound.
        const std::string crashLog = readFile(crashed / "sdk.log");
        EXPECT_EQ(crashLog.find("Unable to suspend"), std::string::npos) << crashLog;

        const pid_t next = launch("next", nullptr);
        ASSERT_GT(next, 0);
        const bool uploaded = waitFor([&] { return !uploadedReport().empty(); }, 60s);
        // The sent report's folder goes once the transport has it; only run 2's own is left.
        const bool cleaned = waitFor(
            [&] {
                return !fs::exists(crashed) && entriesIn(reportsRoot() / "active") == 1 &&
                       entriesIn(reportsRoot() / "processing") == 0 &&
                       entriesIn(reportsRoot() / "prepared") == 0 &&
                       entriesIn(reportsRoot() / "pending") == 0;
            },
            uploaded ? 30s : 0s);
        kill(next, SIGTERM);
        test::waitForChild(next, status, 30s);
        ASSERT_TRUE(uploaded) << readFile(logOf("next"));
        EXPECT_TRUE(cleaned) << "crash folders left behind";

        checkReport(kind, uploadedReport());
    }

    static void checkReport(const CrashKind& kind,
                            const std::map<std::string, std::string>& files) {
        const std::string recordName =
            kind.record == Record::signal ? "signal.clsrecord" : "exception.clsrecord";
        ASSERT_TRUE(files.count(recordName)) << "no " << recordName;
        ASSERT_TRUE(files.count(recordName + ".symbolicated")) << "not symbolicated";
        const std::string& record = files.at(recordName);

        // The threads: more than one, exactly one of them crashed, on the thread the kind says.
        const json threads = test::recordSection(record, "threads");
        ASSERT_TRUE(threads.is_array()) << record;
        EXPECT_GT(threads.size(), 1u);
        std::vector<std::size_t> crashed;
        for (std::size_t i = 0; i < threads.size(); ++i) {
            if (threads[i].value("crashed", false)) crashed.push_back(i);
        }
        ASSERT_EQ(crashed.size(), 1u) << "crashed threads";
        const std::size_t index = crashed[0];
        if (kind.on == On::main) {
            EXPECT_EQ(index, 0u) << "not the main thread";
        } else if (kind.on == On::worker) {
            EXPECT_NE(index, 0u) << "the main thread";
        }

        // A library loaded late is among the images all the same.
        if (kind.library != std::string("pexmora-crashtest")) {
            const auto images = files.find("binary_images.clsrecord");
            EXPECT_TRUE(images != files.end() &&
                        images->second.find(kind.library) != std::string::npos)
                << "the library is not among the images";
        }

        // The crashed thread's stack after symbolication: the fault site among the first frames,
        // and nothing of the crash reporter's own before it.
        const json symbolicated =
            test::recordSection(files.at(recordName + ".symbolicated"), "threads");
        ASSERT_TRUE(symbolicated.is_array());
        ASSERT_EQ(symbolicated.size(), threads.size());
        const json& frames = symbolicated[index];
        ASSERT_TRUE(frames.is_array());
        ASSERT_FALSE(frames.empty()) << "an empty crashed stack";
        std::ostringstream stack;
        for (const auto& frame : frames) {
            stack << frame.value("symbol", "?") << " (" << frame.value("library", "?") << ")\n";
        }
        EXPECT_FALSE(frames[0].value("library", "").empty()) << stack.str();
        if (kind.site != nullptr) {
            std::optional<std::size_t> at;
            for (std::size_t i = 0; i < frames.size() && i < std::size_t(kind.firstFrames); ++i) {
                if (frames[i].value("symbol", "").find(kind.site) != std::string::npos) {
                    at = i;
                    break;
                }
                EXPECT_EQ(frames[i].value("symbol", "").find("CRS"), std::string::npos)
                    << "a crash reporter frame first\n"
                    << stack.str();
            }
            ASSERT_TRUE(at) << kind.site << " is not among the first frames\n" << stack.str();
            EXPECT_EQ(fs::path(frames[*at].value("library", "")).filename().string(), kind.library);
            for (std::size_t i = 0; i < *at; ++i) {
                const std::string library =
                    fs::path(frames[i].value("library", "")).filename().string();
                for (const std::string& excluded : kind.notBeforeSite) {
                    EXPECT_NE(library.rfind(excluded, 0), 0u)
                        << "a frame of " << library << " before the site\n"
                        << stack.str();
                }
            }
        }
        if (kind.outer != nullptr) {
            bool found = false;
            for (const auto& frame : frames) {
                found = found || frame.value("symbol", "").find(kind.outer) != std::string::npos;
            }
            EXPECT_TRUE(found) << "the outermost frames are lost\n" << stack.str();
        }
        if (kind.recursion) {
            // The recursion's return address, written ten times and then counted: the frames
            // below it are all there, and nothing is cut.
            const json& thread = threads[index];
            ASSERT_TRUE(thread.contains("repeated_pc")) << "not folded\n" << stack.str();
            EXPECT_GT(thread.value("repeat_count", std::uint64_t{0}), 1000u);
            EXPECT_FALSE(thread.contains("frames_omitted"));
            const json& pcs = thread["stacktrace"];
            ASSERT_EQ(pcs.size(), frames.size());
            std::size_t written = 0;
            for (std::size_t i = 0; i < pcs.size(); ++i) {
                if (pcs[i] != thread["repeated_pc"]) continue;
                ++written;
                EXPECT_NE(frames[i].value("symbol", "").find(kind.site), std::string::npos)
                    << i << "\n"
                    << stack.str();
            }
            EXPECT_EQ(written, 10u);
        }
        if (kind.record == Record::signal) {
            const json signal = test::recordSection(record, "signal");
            ASSERT_TRUE(signal.is_object()) << record;
            // Every field of the signal's information, the address too.
            for (const char* field : {"number", "code", "address", "name", "code_name"}) {
                ASSERT_TRUE(signal.contains(field)) << field << "\n" << record;
            }
            EXPECT_EQ(signal.value("number", 0), kind.dies);
            EXPECT_EQ(signal.value("name", ""),
                      sigabbrev_np(kind.dies) ? std::string("SIG") + sigabbrev_np(kind.dies) : "");
            // The code name is an abort's alone; the kernel's name for the code stands apart.
            EXPECT_EQ(signal["code_name"], kind.dies == SIGABRT ? json("ABORT") : json()) << record;
            const std::string kernelCodeName = signal.value("kernel_code_name", "");
            EXPECT_NE(std::find(kind.codeNames.begin(), kind.codeNames.end(), kernelCodeName),
                      kind.codeNames.end())
                << kernelCodeName;
            ASSERT_TRUE(signal["address"].is_number_unsigned()) << record;
            const auto address = signal["address"].get<std::uint64_t>();
            if (kind.sent != 0) {
                EXPECT_EQ(signal.value("code", 1), SI_USER);
                // A sent signal's address bytes hold the sender's pid and uid: this test's.
                EXPECT_EQ(address,
                          std::uint64_t{getuid()} << 32 | static_cast<std::uint32_t>(getpid()));
            } else {
                EXPECT_GT(signal.value("code", 0), 0);
                if (kind.address) {
                    EXPECT_EQ(address, *kind.address);
                } else if (kind.anyAddress) {
                    EXPECT_NE(address, 0u);
                }
            }
        } else {
            const json exception = test::recordSection(record, "exception");
            ASSERT_TRUE(exception.is_object()) << record;
            EXPECT_EQ(exception.value("type", ""), "c++");
            EXPECT_EQ(fromHex(exception.value("name", "")), kind.exceptionName);
            EXPECT_EQ(fromHex(exception.value("reason", "")), kind.reason);
        }
    }

    std::unique_ptr<test::PulseAudioServer> sound_;
    test::TempDir machine_;
    standin::StandinService service_;
    std::unique_ptr<standin::TelemetryServer> telemetry_;
    std::unique_ptr<standin::CrashSettingsServer> settings_;
    std::unique_ptr<standin::InstallationsServer> installations_;
};

TEST_P(AppCrashReportTest, CrashIsReportedWholeAtTheNextStart) {
    const CrashKind& kind = GetParam();
#if defined(__SANITIZE_ADDRESS__)
    // Under the address sanitizer a refused allocation ends the process in the sanitizer's own
    // report instead of throwing.
    if (kind.mode == std::string("bad-alloc")) GTEST_SKIP() << "no std::bad_alloc under ASan";
#endif
    crashAndCheck(kind);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AppCrashReportTest, ::testing::ValuesIn(crashKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pex
