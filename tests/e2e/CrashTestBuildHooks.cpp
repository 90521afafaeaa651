// What the crash test build of the application adds to its start: the hosts it talks to are
// moved to the test's stand-in ("PEXMORA_TEST_ORIGIN"), and with "PEXMORA_TEST_CRASH" set the
// application announces on its error output when crash reporting has started, then crashes the
// way the variable names (see `kinds` below). "await-signal" only announces, for a signal sent
// from outside.
//
// "PEXMORA_TEST_NO_CRASH_REPORTING" puts the default signal actions and terminate handler back
// once crash reporting has started: the same process, dying without a report, for comparison.
// "PEXMORA_TEST_FAULT_CLOCK" names a file that gets the monotonic clock's nanoseconds just
// before each fault (for a recursion, at each level), so a bench can time fault to death.
// "PEXMORA_TEST_LATE_LIBRARY" is the library the "late-library-fault" kind loads and faults in.
// "PEXMORA_TEST_QUIT_WHILE_IMAGES_CHANGE" gives a number of rounds: once crash reporting has
// started, the image record's queue gets that many jobs, each loading and unloading that
// library and recording both, and the application is asked to quit (SIGTERM) while they run.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>

#include "BeaconTransport/TXPLibrary/TXPReachability.h"
#include "BeaconTransport/cct/TXPEndpoints.h"
#include "beacon-core/installations/BCNInstallationsAPIService.h"
#include "crashreporter/network/CRSSettingsEndpoint.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSContext.h"
#include "platform/audiotoolbox/AudioInputQueue.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/ThreadLauncher.h"
#include "platform/systemconfiguration/FakeNetworkReachability.h"
#include "sessions/SettingsDownloader.h"

// The fault sites have external, distinctive names: a test finds them among the crashed
// thread's first frames after symbolication. None is inlined or folded into its caller.
extern "C" {

volatile std::int64_t* pexmoraCrashTestFaultClock = nullptr;

__attribute__((noinline)) void pexmoraCrashTestMarkFault() {
    if (pexmoraCrashTestFaultClock == nullptr) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    *pexmoraCrashTestFaultClock = std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

}  // extern "C"

// A store to an address the compiler cannot know is null, so it is not removed; the
// undefined-behaviour checks are off here, so it faults.
__attribute__((noinline, no_sanitize("undefined"))) void pexmoraCrashTestStoreToNull() {
    static volatile std::uintptr_t nowhere = 0;
    pexmoraCrashTestMarkFault();
    *reinterpret_cast<volatile int*>(nowhere) = 1;
}

// Recursion without end (the bound is never reached), each level with a frame of its own.
__attribute__((noinline)) int pexmoraCrashTestRecurse(int depth) {
    static volatile int bound = 1 << 30;
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    pexmoraCrashTestMarkFault();
    if (depth >= bound) return frame[0];
    return pexmoraCrashTestRecurse(depth + 1) + frame[0];
}

// The frame below the recursion: a report that keeps the outermost frames names it.
__attribute__((noinline)) void pexmoraCrashTestOverflowStack() {
    const int result = pexmoraCrashTestRecurse(0);
    // Used after the call, so the call is not a jump that leaves this frame.
    asm volatile("" : : "r"(result));
}

__attribute__((noinline)) void pexmoraCrashTestThrow() {
    pexmoraCrashTestMarkFault();
    throw std::runtime_error("pexmora crash test: uncaught");
}

// An exception that leaves a function that may not throw: the unwinder's search ends in
// terminate there, before any frame is unwound.
__attribute__((noinline)) void pexmoraCrashTestThrowThroughNoexcept() noexcept {
    pexmoraCrashTestThrow();
    // Used after the call, so the call is not a jump that leaves this frame.
    asm volatile("");
}

// Allocates until the address space limit set just before refuses, and lets the allocation
// failure go uncaught.
__attribute__((noinline)) void pexmoraCrashTestExhaustMemory() {
    static void* volatile blocks[1 << 16];
    for (auto& block : blocks) {
        pexmoraCrashTestMarkFault();
        block = ::operator new (std::size_t{16} << 20);
    }
}

namespace {

constexpr char kReadyLine[] = "pexmora-crashtest: crash reporting started\n";
constexpr int kReportedSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP};

void say(const char* line) {
    // Straight to the descriptor: nothing buffered is lost when the process dies right after.
    const ssize_t written = write(STDERR_FILENO, line, std::strlen(line));
    (void)written;
}

void mapFaultClock(const char* path) {
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ftruncate(fd, sizeof(std::int64_t)) != 0) {
        say("pexmora-crashtest: cannot open the fault clock file\n");
        if (fd >= 0) close(fd);
        return;
    }
    void* mapped = mmap(nullptr, sizeof(std::int64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped != MAP_FAILED) pexmoraCrashTestFaultClock = static_cast<std::int64_t*>(mapped);
}

void switchCrashReportingOff() {
    for (const int number : kReportedSignals) signal(number, SIG_DFL);
    std::set_terminate(__gnu_cxx::__verbose_terminate_handler);
}

// Sets the address space limit a little above what the process maps now.
void limitAddressSpace() {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlim_t mapped = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
    const rlimit limit{mapped + (rlim_t{64} << 20), mapped + (rlim_t{64} << 20)};
    if (setrlimit(RLIMIT_AS, &limit) != 0) say("pexmora-crashtest: cannot limit the memory\n");
}

void faultInLateLibrary() {
    const char* path = std::getenv("PEXMORA_TEST_LATE_LIBRARY");
    void* library = path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    // A loader of the application's own tells the image record at once; the record's watcher
    // would notice only at its next check, after this fault.
    pex::CRSBinaryImageRescanIfLoaderChanged();
    auto* fault =
        library != nullptr
            ? reinterpret_cast<void (*)()>(dlsym(library, "pexmoraLateLibraryStoreToNull"))
            : nullptr;
    if (fault == nullptr) {
        say("pexmora-crashtest: cannot load the late library\n");
        std::_Exit(3);
    }
    pexmoraCrashTestMarkFault();
    fault();
}

void onWorker(std::function<void()> body) {
    pex::launchThread(std::move(body)).detach();
}

// Two threads that fault at the same moment, once both are there.
void faultTogether() {
    static std::atomic<int> arrived{0};
    for (int i = 0; i < 2; ++i) {
        onWorker([] {
            arrived.fetch_add(1);
            while (arrived.load() < 2) {
            }
            pexmoraCrashTestStoreToNull();
        });
    }
}

// Records the default input device and faults in the first buffer's callback, on the sound
// client's own thread.
void faultInSoundCallback() {
    static pex::AudioInputQueueResult recording = pex::AudioInputQueue::create(
        pex::AudioCaptureFormat{},
        [](std::span<const std::uint8_t>) { pexmoraCrashTestStoreToNull(); },
        [](const pex::AudioQueueError&) {});
    if (!recording.queue || recording.queue->start()) {
        say("pexmora-crashtest: cannot record from the sound server\n");
        std::_Exit(3);
    }
}

// Each kind's crash, run once crash reporting has started.
const std::map<std::string, std::function<void()>>& kinds() {
    using pex::DispatchQueue;
    static const std::map<std::string, std::function<void()>> table = {
        {"await-signal", [] {}},
        {"main-null-store", [] { DispatchQueue::main().async(pexmoraCrashTestStoreToNull); }},
        {"worker-null-store", [] { onWorker(pexmoraCrashTestStoreToNull); }},
        {"main-stack-overflow", [] { DispatchQueue::main().async(pexmoraCrashTestOverflowStack); }},
        {"worker-stack-overflow", [] { onWorker(pexmoraCrashTestOverflowStack); }},
        {"worker-uncaught-exception", [] { onWorker(pexmoraCrashTestThrow); }},
        {"bad-alloc",
         [] {
             onWorker([] {
                 limitAddressSpace();
                 pexmoraCrashTestExhaustMemory();
             });
         }},
        {"two-threads-fault", faultTogether},
        {"sound-callback-null-store", faultInSoundCallback},
        {"worker-noexcept-exception", [] { onWorker(pexmoraCrashTestThrowThroughNoexcept); }},
        {"late-library-fault", [] { DispatchQueue::main().async(faultInLateLibrary); }},
    };
    return table;
}

bool crashReportingStarted();

// Work for the image record that is still under way when the application quits.
void quitWhileImagesChange(int rounds) {
    std::thread([rounds] {
        if (!crashReportingStarted()) return;
        const char* path = std::getenv("PEXMORA_TEST_LATE_LIBRARY");
        for (int round = 0; round < rounds; ++round) {
            pex::CRSBinaryImageQueue().async([path] {
                void* library = path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
                pex::CRSBinaryImageRescanIfLoaderChanged();
                if (library != nullptr) dlclose(library);
                pex::CRSBinaryImageRescanIfLoaderChanged();
            });
        }
        say("pexmora-crashtest: quitting while the image record changes\n");
        kill(getpid(), SIGTERM);
    }).detach();
}

bool crashReportingStarted() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!pex::CRSContextIsInitialized()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

void pexmoraCrashTestBuildHooks() {
    using namespace pex;
    if (const char* origin = std::getenv("PEXMORA_TEST_ORIGIN"); origin && *origin) {
        if (const auto parsed = Origin::parse(origin)) DeploymentSettings::useSingleOrigin(*parsed);
        TXPEndpoints::setOriginForTesting(std::string(origin));
        BCNInstallationsAPIService::setOriginForTesting(std::string(origin));
        CRSSettingsEndpoint::setOriginForTesting(std::string(origin));
        SettingsDownloader::setOriginForTesting(std::string(origin));
        // The stand-in is on this machine: uploads to it need no network beyond the loopback,
        // so they do not wait for the machine's own network to come up.
        TXPReachability::setNetworkReachabilityForTesting(
            std::make_shared<FakeNetworkReachability>(NetworkReachability::kReachable));
    }
    if (const char* rounds = std::getenv("PEXMORA_TEST_QUIT_WHILE_IMAGES_CHANGE")) {
        quitWhileImagesChange(std::atoi(rounds));
    }
    const char* kind = std::getenv("PEXMORA_TEST_CRASH");
    if (kind == nullptr || *kind == '\0') return;
    if (const char* clock = std::getenv("PEXMORA_TEST_FAULT_CLOCK"); clock && *clock) {
        mapFaultClock(clock);
    }
    const bool reporting = std::getenv("PEXMORA_TEST_NO_CRASH_REPORTING") == nullptr;
    const std::string name(kind);
    // A thread of the process from before crash reporting started: it never went through the
    // thread-start hook.
    if (name == "early-thread-stack-overflow") {
        std::thread([reporting] {
            if (!crashReportingStarted()) return;
            if (!reporting) switchCrashReportingOff();
            say(kReadyLine);
            pexmoraCrashTestOverflowStack();
        }).detach();
        return;
    }
    const auto found = kinds().find(name);
    if (found == kinds().end()) {
        say("pexmora-crashtest: unknown crash kind\n");
        std::_Exit(2);
    }
    std::thread([reporting, crash = found->second] {
        if (!crashReportingStarted()) return;
        if (!reporting) switchCrashReportingOff();
        say(kReadyLine);
        crash();
    }).detach();
}
