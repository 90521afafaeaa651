#include "crashreporter/runtime/CRSContext.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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
    return reinterpret_cast<std::uintptr_t>(crsContext) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(crsContext->readonly) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(crsContext->writable) >= 4096;
}

void* zeroed(void* memory, std::size_t size) {
    if (memory != nullptr) std::memset(memory, 0, size);
    return memory;
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
    std::atomic_thread_fence(std::memory_order_seq_cst);
    crsContext = &contextStorage;
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
    std::atomic_ref<bool> crashed(crsContext->writable->crashOccurred);
    return crashed.exchange(true, std::memory_order_seq_cst);
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
