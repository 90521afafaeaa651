#pragma once
// The crashed process as a crash handler records it: its threads (each with registers and
// unwound stack), their names and queue labels, and the runtime's own crash facts. The other
// threads are stopped while they are recorded (see ThreadParking). Everything here runs inside
// a signal handler: no allocation, no locks, only raw system calls.
#include <sys/types.h>
#include <ucontext.h>

#include <cstddef>
#include <cstdint>

#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

// Threads recorded at most; further ones are left out of the report.
inline constexpr std::size_t kCRSProcessMaxThreads = 1024;
// How long the handler waits, in all, for the other threads to stop.
inline constexpr std::int64_t kCRSThreadSuspendTimeoutNanoseconds = 500'000'000;

// The crashed thread's registers when no signal brought them: a crash seen on the crashed
// thread itself, from one of its own frames.
struct CRSCrashedThreadState {
    CRSThreadContext registers;
    // The PC is a return address (an outer frame's), looked up as the call before it.
    bool pcIsReturnAddress;
};

// Lives on the handler's stack for one handler run.
struct CRSProcess {
    pid_t task;
    pid_t thisThread;
    pid_t crashedThread;
    pid_t threads[kCRSProcessMaxThreads];
    std::size_t threadCount;
    const ucontext_t* uap;  // the signal's context: the crashed thread's registers
    const CRSCrashedThreadState* crashedState;  // or these, without a signal
    // Each thread's stack [low, high), both 0 when unknown; found before the threads are
    // recorded.
    std::uintptr_t stackLow[kCRSProcessMaxThreads];
    std::uintptr_t stackHigh[kCRSProcessMaxThreads];
    bool suspended;
};

// Takes the thread list; false (and an empty list) when it cannot be read.
bool CRSProcessInit(CRSProcess* process, pid_t crashedThread, const ucontext_t* uap);
// Stops every other thread and takes its registers; false when any did not stop. A thread
// that blocks the suspend signal is not waited for: it is counted in the log and recorded
// without registers or stack.
bool CRSProcessSuspendAllOtherThreads(CRSProcess* process);
// Lets the stopped threads go on.
bool CRSProcessResumeAllOtherThreads(CRSProcess* process);
// The registers of `thread`: the signal's context (or the crashed state) for the crashed
// thread, the caller's own registers for the handler's thread, the stopped registers for any
// other. False when they
// could not be read; `context` is then not a thread's state.
bool CRSProcessGetThreadState(const CRSProcess* process, pid_t thread, CRSThreadContext* context);

// Finds each thread's stack from its stack pointer: the one its thread noted, else the mapping
// around it (see CRSThreadStacks). Run once the other threads are stopped.
void CRSProcessFindThreadStacks(CRSProcess* process);
// "threads": one entry per thread, each walk bounded by its thread's stack. A thread whose
// registers cannot be read is written with empty "registers" and "stacktrace" and the rest still
// follow; false when any was.
bool CRSProcessRecordAllThreads(const CRSProcess* process, CRSFile* file);
// "thread_names": each thread's name, or "".
void CRSProcessRecordThreadNames(const CRSProcess* process, CRSFile* file);
// "dispatch_queue_names": one "" per thread (threads here serve no system queues).
void CRSProcessRecordDispatchQueueNames(const CRSProcess* process, CRSFile* file);
// "runtime": no message selector and no crash-info messages exist for these images, so both
// are written empty.
void CRSProcessRecordRuntimeInfo(const CRSProcess* process, CRSFile* file);

}  // namespace pex
