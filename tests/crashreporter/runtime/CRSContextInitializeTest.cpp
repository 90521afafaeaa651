#include "crashreporter/runtime/CRSContextInitialize.h"

#include <signal.h>

#include <chrono>
#include <exception>
#include <thread>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "CrashContextFixture.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSException.h"
#include "crashreporter/runtime/CRSFileReader.h"
#include "crashreporter/runtime/CRSSignal.h"
#include "crashreporter/runtime/CRSUserLogging.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {
namespace {

bool waitUntilInitialized() {
    for (int i = 0; i < 2000 && !CRSContextIsInitialized(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return CRSContextIsInitialized();
}

void* alternateStackOfThisThread() {
    stack_t current{};
    sigaltstack(nullptr, &current);
    return (current.ss_flags & SS_DISABLE) ? nullptr : current.ss_sp;
}

TEST(CRSContextInitializeTest, GivesNothingWithoutARootPath) {
    EXPECT_EQ(CRSContextInitialize(CRSContextInitData{}, Bundle()), nullptr);
    // The records exist all the same.
    EXPECT_NE(crsContext, nullptr);
    EXPECT_FALSE(CRSContextIsInitialized());
}

// In a child process: the handlers it installs must not stay in the test process.
TEST(CRSContextInitializeTest, InstallsHandlersStacksAndMetadata) {
    test::TempDir dir;
    const int failedStep = test::exitCodeOfChild([&] {
        CRSContextInitData initData;
        initData.rootPath = dir.path().string();
        initData.sessionId = "0123456789abcdef0123456789abcdef";
        const PRMPromiseRef promise = CRSContextInitialize(initData, Bundle());
        if (!promise || !waitUntilInitialized()) return 1;
        struct sigaction current {};
        sigaction(SIGSEGV, nullptr, &current);
        if (reinterpret_cast<void*>(current.sa_sigaction) !=
            reinterpret_cast<void*>(CRSSignalHandler)) {
            return 2;
        }
        const auto metadata =
            CRSFileReadSections((dir.path() / "metadata.clsrecord").c_str(), false);
        if (!metadata || metadata->size() != 4) return 3;
        // The calling thread has the reserved stack, a product thread one of its own.
        if (alternateStackOfThisThread() != crsContext->readonly->signalStack) return 4;
        void* workerStack = nullptr;
        DispatchQueue::global().sync([&] { workerStack = alternateStackOfThisThread(); });
        if (workerStack == nullptr || workerStack == crsContext->readonly->signalStack) return 5;
        if (std::string(crsContext->readonly->signal.path) !=
            (dir.path() / "signal.clsrecord").string()) {
            return 6;
        }
        // User logging is ready: a line lands in the report folder's first log file.
        CRSLog("after start-up");
        if (!std::filesystem::exists(dir.path() / "log_a.clsrecord")) return 7;
        // Uncaught exceptions come to the terminate handler, which keeps the runtime's own.
        if (std::get_terminate() != CRSTerminateHandler ||
            crsContext->readonly->exception.originalTerminateHandler == nullptr ||
            std::string(crsContext->readonly->exception.path) !=
                (dir.path() / "exception.clsrecord").string()) {
            return 8;
        }
        // The Mach exception server was tried and, without exception ports here, not started.
        const CRSMachExceptionReadOnlyContext& mach = crsContext->readonly->machException;
        if (std::string(mach.path) != (dir.path() / "mach_exception.clsrecord").string() ||
            mach.stack != crsContext->readonly->machStack || mach.threadStarted) {
            return 9;
        }
        if (test::fileText(dir.path() / "sdk.log")
                .find("Unable to register mach exception handler") == std::string::npos) {
            return 10;
        }
        return 0;
    });
    EXPECT_EQ(failedStep, 0);
}

}  // namespace
}  // namespace pex
