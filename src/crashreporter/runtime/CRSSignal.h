#pragma once
// Fatal signals: a handler for each that records the signal and the state of the process into
// the active report, then gives the signal back to what handled it before, so the process ends
// the way it would have without crash reporting.
//
// Each thread needs an alternate signal stack for a stack overflow to be recorded: the thread
// that sets crash reporting up gets the context's reserved stack, the threads that exist then
// one each by a request signal, and the product's threads started later one of their own as
// they start (see ThreadLauncher). Threads that other libraries start later have none, so a
// stack overflow on one of them ends the process without a record.
#include <signal.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "crashreporter/runtime/CRSThreadSignalStacks.h"

namespace pex {

inline constexpr int kCRSSignalCount = 7;
inline constexpr char kCRSSignalFileName[] = "signal.clsrecord";
// The alternate stack of each product thread.
inline constexpr std::size_t kCRSThreadSignalStackSize = 262144;
// How long a fault on another thread waits for the crash being recorded to complete (it
// normally takes well under a second), and then for that crash to end the process.
inline constexpr std::int64_t kCRSSecondFaultWaitNanoseconds = 10'000'000'000;
inline constexpr std::int64_t kCRSSecondFaultAfterRecordNanoseconds = 1'000'000'000;

// The stack the handler needs to record a crash (it uses about 37 KiB), with a margin. On an
// alternate stack with less room below the handler, the record is written on the reporter's
// own recording stack instead.
inline constexpr std::size_t kCRSSignalRecordStackNeed = 65536;

struct CRSSignalReadOnlyContext {
    const char* path;
    // What was installed before, in the order of the handled signals; a slot without a handler
    // has nothing to restore.
    struct sigaction originalActions[kCRSSignalCount];
    stack_t originalStack;
    // Of `kCRSThreadSignalStackSize`, mapped at initialisation; used by one recording at a time.
    CRSThreadSignalStack recordingStack;
};

// Calls `body` with (index, signal number) for SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV,
// SIGSYS and SIGTRAP, in this order. Not for crash time (it takes a function object).
void CRSSignalForEachHandled(const std::function<void(int index, int signal)>& body);
// The signal's name ("UNKNOWN" for one not handled) and code name: "ABORT" for SIGABRT,
// nothing for every other signal, whatever its `code`.
void CRSSignalLookupNames(int signal, int code, const char** name, const char** codeName);
// The kernel's name for a signal's `code` ("SEGV_MAPERR", "SI_USER", ...), nothing for a code
// not known. The record keeps it apart from the code name, as "kernel_code_name".
const char* CRSSignalKernelCodeName(int signal, int code);

// Removes an earlier record and installs the handlers, once. The alternate stack is registered
// apart (`CRSSignalInstallAltStack`), on the main thread.
void CRSSignalInitialize(CRSSignalReadOnlyContext* context);
// Registers the context's reserved stack as the calling thread's alternate stack, keeping the
// previous one in `context`.
bool CRSSignalInstallAltStack(CRSSignalReadOnlyContext* context);
// Installs the handlers, keeping the earlier actions in `context`.
void CRSSignalInstallHandlers(CRSSignalReadOnlyContext* context);
// Gives the calling thread an alternate stack of its own, once; the thread-start hook.
void CRSSignalInstallThreadAltStack();

void CRSSignalHandler(int signal, siginfo_t* info, void* userContext);
// For a thread that fails while another records the first crash: waits (bounded) for that
// record, then a moment for the first crash to end the process. False when the record did not
// complete in time. Safe in a signal handler.
bool CRSSignalAwaitRecordedCrash();
// Every handled signal back to the default action (SIGABRT too when `includingAbort`).
void CRSSignalSafeRemoveHandlers(bool includingAbort);
// Puts the earlier actions and alternate stack back; for `signal` (when not negative) calls the
// earlier handler function directly. True when the stack and every action were re-installed;
// the actions go back even when the stack cannot.
bool CRSSignalSafeInstallPreexistingHandlers(const CRSSignalReadOnlyContext* context, int signal,
                                             siginfo_t* info, void* userContext);
// Gives SIGABRT back to what handled it before (the default action when nothing did), for a
// path that has recorded its crash already and now aborts.
void CRSSignalRestoreAbortAction(const CRSSignalReadOnlyContext* context);
// The late check: warns on standard error for each handled signal whose handler is no longer
// ours (or that crash reports are not written while a debugger is attached).
void CRSSignalCheckHandlers();

}  // namespace pex
