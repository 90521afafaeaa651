#include "crashreporter/runtime/CRSContext.h"

#include <sys/ptrace.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "CrashContextFixture.h"

namespace pex {
namespace {

using CRSContextTest = test::CrashContextTest;

TEST_F(CRSContextTest, LaysOutRecordsAndStacksInTheGuardedMapping) {
    const CRSReadOnlyContext* readonly = crsContext->readonly;
    const CRSReadWriteContext* writable = crsContext->writable;
    const CRSAllocator* allocator = crsContext->allocator;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));

    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(readonly->machStack),
              allocator->writableRegion.start);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(readonly->machStack) % page, 0u);
    EXPECT_EQ(static_cast<char*>(readonly->signalStack),
              static_cast<char*>(readonly->machStack) + kCRSMachStackSize);
    EXPECT_EQ(reinterpret_cast<const char*>(writable),
              static_cast<char*>(readonly->signalStack) + kCRSSignalStackSize);
    EXPECT_EQ(writable->internalLogFd, -1);
    EXPECT_EQ(writable->internalLogLevel, 1);
    EXPECT_FALSE(writable->crashOccurred);

    EXPECT_EQ(std::string(readonly->rootPath), root().string());
    EXPECT_EQ(std::string(readonly->logPath), (root() / "sdk.log").string());
    EXPECT_EQ(std::string(readonly->previouslyCrashedFileFullPath),
              (root() / "previously-crashed").string());
    for (const char* path : {readonly->rootPath, readonly->logPath}) {
        const auto at = reinterpret_cast<std::uintptr_t>(path);
        EXPECT_GE(at, allocator->readableRegion.start);
        EXPECT_LT(at, allocator->readableRegion.start + allocator->readableRegion.size);
    }
}

TEST_F(CRSContextTest, OnlyTheFirstCrashOfAnInitializedContextIsRecorded) {
    EXPECT_FALSE(CRSContextIsInitialized());
    EXPECT_FALSE(CRSContextMarkAndCheckIfCrashed());
    EXPECT_FALSE(crsContext->writable->crashOccurred);

    CRSContextCompleteInitialization();
    EXPECT_TRUE(CRSContextIsInitialized());

    // Several threads crash at once: exactly one of them goes on to record, and it is known as
    // the recording thread to the others.
    std::vector<std::thread> threads;
    std::atomic<int> firsts{0};
    std::atomic<pid_t> recorder{0};
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            if (!CRSContextMarkAndCheckIfCrashed()) {
                firsts.fetch_add(1);
                recorder = gettid();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(firsts, 1);
    EXPECT_TRUE(CRSContextMarkAndCheckIfCrashed());
    EXPECT_NE(recorder.load(), 0);
    EXPECT_EQ(CRSContextCrashingThread(), recorder.load());
}

TEST_F(CRSContextTest, AWaitForTheCrashRecordEndsWhenItIsComplete) {
    CRSContextCompleteInitialization();
    EXPECT_FALSE(CRSContextWaitForCrashRecorded(0));
    std::atomic<bool> completed{false};
    std::thread waiter([&] { completed = CRSContextWaitForCrashRecorded(30'000'000'000); });
    CRSContextMarkCrashRecorded();
    waiter.join();
    EXPECT_TRUE(completed);
    EXPECT_TRUE(CRSContextWaitForCrashRecorded(0));
}

TEST_F(CRSContextTest, TheReadOnlyRecordIsWriteProtectedOnceInitialized) {
    CRSContextCompleteInitialization();
    CRSReadOnlyContext* readonly = crsContext->readonly;
    EXPECT_EQ(test::signalEndingChild([&] { readonly->debuggerAttached = true; }), SIGSEGV);
    EXPECT_EQ(test::signalEndingChild([&] { crsContext->writable->errorsCount = 1; }), 0);
}

TEST_F(CRSContextTest, CreatesTheCrashedMarker) {
    CRSCreateCrashedMarkerFile();
    EXPECT_TRUE(std::filesystem::exists(root() / "previously-crashed"));
    EXPECT_EQ(std::filesystem::file_size(root() / "previously-crashed"), 0u);
    EXPECT_NE(sdkLog().find("] Created the crashed marker file\n"), std::string::npos);

    CRSContextSetPreviouslyCrashedRootPath((root() / "gone").c_str());
    CRSCreateCrashedMarkerFile();
    EXPECT_NE(sdkLog().find("] Unable to create the crashed marker file\n"), std::string::npos);
}

TEST_F(CRSContextTest, DetectsATracingDebugger) {
    EXPECT_FALSE(CRSProcessDebuggerAttached());

    // A child asks its parent (this test) to trace it, then checks.
    const int result = test::exitCodeOfChild([] {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) return 2;
        return CRSProcessDebuggerAttached() ? 1 : 0;
    });
    if (result == 2) GTEST_SKIP() << "tracing is not permitted here";
    EXPECT_EQ(result, 1);
}

}  // namespace
}  // namespace pex
