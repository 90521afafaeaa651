#include "crashreporter/runtime/CRSContext.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "platform/mach/ProcessStatus.h"

namespace pex {

CRSContext* crsContext = nullptr;

namespace {

// Room in the read-only region for the paths copied into it: the report's record files,
// the log, the marker and the user-logging files.
constexpr std::size_t kReadOnlyPathsSize = 32 * PATH_MAX;

CRSContext contextStorage;

bool contextPresent() {
    const CRSContext* context =
        std::atomic_ref<CRSContext*>(crsContext).load(std::memory_order_acquire);
    return reinterpret_cast<std::uintptr_t>(context) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(context->readonly) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(context->writable) >= 4096;
}

void* zeroed(void* memory, std::size_t size) {
    if (memory != nullptr) std::memset(memory, 0, size);
    return memory;
}

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

const char* joinedPath(const char* directory, const char* name) {
    return CRSDupString((std::string(directory) + "/" + name).c_str());
}

}  // namespace

bool CRSContextAllocate() {
    CRSAllocator* allocator =
        CRSAllocatorCreate(kCRSMachStackSize + kCRSSignalStackSize + sizeof(CRSReadWriteContext),
                           sizeof(CRSReadOnlyContext) + kReadOnlyPathsSize);
    auto* readonly = static_cast<CRSReadOnlyContext*>(zeroed(
        CRSAllocatorSafeAllocate(allocator, sizeof(CRSReadOnlyContext), CRSAllocationTypeReadOnly),
        sizeof(CRSReadOnlyContext)));
    void* machStack =
        zeroed(CRSAllocatorSafeAllocate(allocator, kCRSMachStackSize, CRSAllocationTypeWritable),
               kCRSMachStackSize);
    void* signalStack =
        zeroed(CRSAllocatorSafeAllocate(allocator, kCRSSignalStackSize, CRSAllocationTypeWritable),
               kCRSSignalStackSize);
    auto* writable = static_cast<CRSReadWriteContext*>(zeroed(
        CRSAllocatorSafeAllocate(allocator, sizeof(CRSReadWriteContext), CRSAllocationTypeWritable),
        sizeof(CRSReadWriteContext)));
    if (readonly == nullptr || writable == nullptr) return false;

    readonly->machStack = machStack;
    readonly->machException.stack = machStack;
    readonly->signalStack = signalStack;
    readonly->initialized.store(false, std::memory_order_relaxed);
    writable->internalLogFd = -1;
    writable->internalLogLevel = CRSSDKLogLevelDebug;
    writable->crashOccurred = false;
    writable->binaryImage.file.fd = -1;
    contextStorage = CRSContext{readonly, writable, allocator};
    // Published with release order: a thread that sees the pointer sees the records it names.
    std::atomic_ref<CRSContext*>(crsContext).store(&contextStorage, std::memory_order_release);
    return true;
}

void CRSContextSetRootPath(const char* rootPath) {
    if (!contextPresent() || rootPath == nullptr) return;
    crsContext->readonly->logPath = joinedPath(rootPath, kCRSLogFileName);
    crsContext->readonly->binaryimage.path = joinedPath(rootPath, kCRSBinaryImagesFileName);
    crsContext->readonly->signal.path = joinedPath(rootPath, kCRSSignalFileName);
    crsContext->readonly->exception.path = joinedPath(rootPath, kCRSExceptionFileName);
    crsContext->readonly->machException.path = joinedPath(rootPath, kCRSMachExceptionFileName);
    crsContext->readonly->rootPath = CRSDupString(rootPath);
    if (!CRSUnlinkIfExists(crsContext->readonly->logPath)) {
        CRSErrorLog(std::string("Unable to write initialize SDK write paths ") + strerror(errno));
    }
}

void CRSContextSetPreviouslyCrashedRootPath(const char* rootPath) {
    if (!contextPresent() || rootPath == nullptr) return;
    crsContext->readonly->previouslyCrashedFileFullPath =
        joinedPath(rootPath, kCRSPreviouslyCrashedFileName);
}

void CRSContextInitializeHost() {
    if (!contextPresent()) return;
    CRSHostInitialize(&crsContext->readonly->host);
}

void CRSContextSetDebuggerAttached(bool attached) {
    if (!contextPresent()) return;
    crsContext->readonly->debuggerAttached = attached;
}

void CRSContextCompleteInitialization() {
    if (!contextPresent()) return;
    crsContext->readonly->initialized.store(true, std::memory_order_release);
    if (!CRSAllocatorProtect(crsContext->allocator)) {
        CRSSDKLogWarn("Error: Memory protection failed\n");
    }
}

bool CRSContextIsInitialized() {
    return contextPresent() && crsContext->readonly->initialized.load(std::memory_order_acquire);
}

bool CRSContextMarkAndCheckIfCrashed() {
    if (!CRSContextIsInitialized()) return false;
    // The thread is claimed in the same step as the crash, so a fault of the recording thread
    // itself is always known as such.
    std::int32_t none = 0;
    const bool first = std::atomic_ref<std::int32_t>(crsContext->writable->crashingThread)
                           .compare_exchange_strong(none, static_cast<std::int32_t>(gettid()),
                                                    std::memory_order_seq_cst);
    std::atomic_ref<bool>(crsContext->writable->crashOccurred)
        .store(true, std::memory_order_seq_cst);
    return !first;
}

pid_t CRSContextCrashingThread() {
    if (!CRSContextIsInitialized()) return 0;
    return std::atomic_ref<std::int32_t>(crsContext->writable->crashingThread)
        .load(std::memory_order_seq_cst);
}

void CRSContextMarkCrashRecorded() {
    if (!contextPresent()) return;
    std::uint32_t* word = &crsContext->writable->crashRecorded;
    std::atomic_ref<std::uint32_t>(*word).store(1, std::memory_order_release);
    syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

bool CRSContextWaitForCrashRecorded(std::int64_t timeoutNanoseconds) {
    if (!contextPresent()) return false;
    std::uint32_t* word = &crsContext->writable->crashRecorded;
    const std::int64_t deadline = monotonicNanoseconds() + timeoutNanoseconds;
    for (;;) {
        if (std::atomic_ref<std::uint32_t>(*word).load(std::memory_order_acquire) != 0) {
            return true;
        }
        const std::int64_t remaining = deadline - monotonicNanoseconds();
        if (remaining <= 0) return false;
        // Woken by the record's end, a signal (the crash handler parking this thread) or the
        // time limit; each goes round again.
        const timespec wait{static_cast<time_t>(remaining / 1000000000),
                            static_cast<long>(remaining % 1000000000)};
        syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, 0, &wait, nullptr, 0);
    }
}

void CRSCreateCrashedMarkerFile() {
    if (!contextPresent()) return;
    const char* path = crsContext->readonly->previouslyCrashedFileFullPath;
    const int fd =
        path == nullptr ? -1 : open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        CRSSDKLogWarn("Unable to create the crashed marker file\n");
        return;
    }
    close(fd);
    CRSSDKLogWarn("Created the crashed marker file\n");
}

bool CRSProcessDebuggerAttached() {
    const std::optional<long> tracer = ProcessStatus::tracerPid();
    if (!tracer) {
        CRSSDKLogWarn("sysctl failed while trying to get kinfo_proc\n");
        return false;
    }
    return *tracer != 0;
}

}  // namespace pex
