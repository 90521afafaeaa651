#pragma once
// The process-wide crash context: everything a crash handler needs, prepared at start-up so
// the handler only reads memory and writes files. The read-only record is write-protected
// once set-up is complete; the writable record is what handlers and user logging update.
// Both live in the guarded allocator's mapping.
#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "crashreporter/runtime/CRSAllocator.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSException.h"
#include "crashreporter/runtime/CRSHost.h"
#include "crashreporter/runtime/CRSMachException.h"
#include "crashreporter/runtime/CRSSignal.h"
#include "crashreporter/runtime/CRSUserLogging.h"
#include "platform/mach/ThreadParking.h"

namespace pex {

struct CRSReadOnlyContext {
    // Written by the set-up's last task on a worker, read by any thread (and crash handler):
    // the release store publishes every field set before it to the acquiring reader.
    std::atomic<bool> initialized;
    bool debuggerAttached;
    const char* previouslyCrashedFileFullPath;
    const char* logPath;
    const char* rootPath;
    void* signalStack;
    void* machStack;
    CRSBinaryImageReadOnlyContext binaryimage;
    CRSHostSettings host;
    CRSSignalReadOnlyContext signal;
    CRSExceptionReadOnlyContext exception;
    CRSMachExceptionReadOnlyContext machException;
    CRSUserLoggingReadOnlyContext logging;
};

// A crash handler may read it: it must not hide a lock.
static_assert(std::atomic<bool>::is_always_lock_free);

struct CRSReadWriteContext {
    int internalLogFd;
    int internalLogLevel;
    // 0 until the crash-time log's one open starts, 1 while it runs, 2 once it is done. An
    // atomic flag rather than a once-guard: the first message may come from a signal handler.
    int internalLogOpenState;
    bool crashOccurred;
    // The thread that records the crash (0 before one), and 1 once its record is complete: a
    // fault of another thread meanwhile waits on it instead of ending the process half-way.
    std::int32_t crashingThread;
    std::uint32_t crashRecorded;
    CRSBinaryImageReadWriteContext binaryImage;
    int errorsCount;
    int customExceptionCount;
    CRSUserLoggingWritableContext logging;
    // Where the other threads leave their registers while a crash handler records them.
    ThreadParkingArea threadParking;
};

struct CRSContext {
    CRSReadOnlyContext* readonly;
    CRSReadWriteContext* writable;
    CRSAllocator* allocator;
};

// The one context; readers treat a pointer below 4096 as missing.
extern CRSContext* crsContext;

inline constexpr std::size_t kCRSSignalStackSize = 262144;
inline constexpr std::size_t kCRSMachStackSize = 262144;
inline constexpr char kCRSLogFileName[] = "sdk.log";
inline constexpr char kCRSPreviouslyCrashedFileName[] = "previously-crashed";

// First step of set-up: maps the allocator and allocates the zeroed records and the two
// handler stacks (the Mach stack first, so it starts on a page boundary). Not initialised
// yet, log closed, log level debug. Each call starts a fresh context.
bool CRSContextAllocate();
// The report directory: rootPath and the record and log paths in it; an existing "sdk.log" is
// removed so the log starts empty for this launch.
void CRSContextSetRootPath(const char* rootPath);
// The folder that receives the "previously-crashed" marker.
void CRSContextSetPreviouslyCrashedRootPath(const char* rootPath);
// The host settings a handler needs (page size, documents folder, clock rate).
void CRSContextInitializeHost();
// Records whether a debugger traces the process (handlers are not installed then).
void CRSContextSetDebuggerAttached(bool attached);
// Last step of set-up: marks the context initialised and protects the read-only record.
void CRSContextCompleteInitialization();

// True when the read-only record exists and is initialised.
bool CRSContextIsInitialized();
// False when not initialised; true when a crash was already recorded; otherwise records this
// one (and the calling thread as the recording one) and answers false, so only the first of
// concurrent crashes is written.
bool CRSContextMarkAndCheckIfCrashed();
// The thread that went on to record the crash; 0 before any crash.
pid_t CRSContextCrashingThread();
// Called by the recording path once its record is complete and the failure handed back.
void CRSContextMarkCrashRecorded();
// Waits at most `timeoutNanoseconds` for the crash record to be complete; true when it is.
// Safe in a signal handler.
bool CRSContextWaitForCrashRecorded(std::int64_t timeoutNanoseconds);
// Creates the empty "previously-crashed" marker that the next launch looks for.
void CRSCreateCrashedMarkerFile();
// True when a debugger traces the process.
bool CRSProcessDebuggerAttached();

}  // namespace pex
