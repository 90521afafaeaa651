#include "crashreporter/runtime/CRSProcess.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSThreadRecorder.h"
#include "crashreporter/runtime/CRSThreadStacks.h"
#include "platform/mach/TaskThreads.h"
#include "platform/mach/ThreadParking.h"

namespace pex {

namespace {

ThreadParkingArea* parkingArea() {
    if (reinterpret_cast<std::uintptr_t>(crsContext) < 4096 ||
        reinterpret_cast<std::uintptr_t>(crsContext->writable) < 4096) {
        return nullptr;
    }
    return &crsContext->writable->threadParking;
}

// The registers of the function that calls this one, as they are right after the call
// returns. Uses the frame pointer, which `__builtin_frame_address` makes this function keep.
__attribute__((noinline)) void captureCallerState(CRSThreadContext* context) {
    *context = CRSThreadContext{};
    const auto* frame = static_cast<const std::uintptr_t*>(__builtin_frame_address(0));
    context->rip = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    context->rbp = frame[0];
    context->rsp = reinterpret_cast<std::uintptr_t>(frame + 2);
}

// An entry that keeps the thread's place when its registers cannot be read.
void writeEmptyThread(CRSFile* file, bool crashed) {
    CRSFileWriteHashStart(file);
    CRSFileWriteHashKey(file, "registers");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEnd(file);
    CRSFileWriteHashKey(file, "stacktrace");
    CRSFileWriteArrayStart(file);
    CRSFileWriteArrayEnd(file);
    if (crashed) CRSFileWriteHashEntryBoolean(file, "crashed", true);
    CRSFileWriteHashEnd(file);
}

// The thread's stack pointer as its recorded registers will have it; 0 when they cannot be read.
std::uintptr_t stackPointerOf(const CRSProcess* process, pid_t thread) {
    if (thread == process->crashedThread && process->uap != nullptr) {
        return static_cast<std::uintptr_t>(process->uap->uc_mcontext.gregs[REG_RSP]);
    }
    if (thread == process->crashedThread && process->crashedState != nullptr) {
        return process->crashedState->registers.rsp;
    }
    if (thread == process->thisThread) {
        return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    }
    const ThreadParkingArea* area = parkingArea();
    const greg_t* registers =
        process->suspended && area != nullptr ? ThreadParking::registersOf(area, thread) : nullptr;
    return registers != nullptr ? static_cast<std::uintptr_t>(registers[REG_RSP]) : 0;
}

}  // namespace

bool CRSProcessInit(CRSProcess* process, pid_t crashedThread, const ucontext_t* uap) {
    process->task = getpid();
    process->thisThread = TaskThreads::currentThread();
    process->crashedThread = crashedThread;
    process->uap = uap;
    process->crashedState = nullptr;
    std::memset(process->stackLow, 0, sizeof process->stackLow);
    std::memset(process->stackHigh, 0, sizeof process->stackHigh);
    process->suspended = false;
    const long count = TaskThreads::list(process->threads, kCRSProcessMaxThreads);
    if (count < 0) {
        process->threadCount = 0;
        CRSSDKLogWarn("Error: unable to get task threads\n");
        return false;
    }
    process->threadCount = static_cast<std::size_t>(count);
    return true;
}

bool CRSProcessSuspendAllOtherThreads(CRSProcess* process) {
    ThreadParkingArea* area = parkingArea();
    if (area == nullptr || !ThreadParking::install(area)) {
        CRSSDKLogWarn("Unable to suspend threads\n");
        return false;
    }
    const std::size_t others = process->threadCount - (process->threadCount > 0 ? 1 : 0);
    std::size_t blocking = 0;
    std::size_t ended = 0;
    const std::size_t stopped =
        ThreadParking::park(area, process->threads, process->threadCount, process->thisThread,
                            kCRSThreadSuspendTimeoutNanoseconds, &blocking, &ended);
    process->suspended = true;
    if (blocking > 0) {
        // Threads that block every signal (as some libraries' own threads do) are recorded
        // without their state rather than waited for until the bound.
        CRSSDKLogWarn("Skipped %lu of %lu threads that block the suspend signal\n",
                      static_cast<unsigned long>(blocking), static_cast<unsigned long>(others));
    }
    if (ended > 0) {
        CRSSDKLogWarn("%lu of %lu threads ended meanwhile\n", static_cast<unsigned long>(ended),
                      static_cast<unsigned long>(others));
    }
    if (stopped + blocking + ended < others) {
        CRSSDKLogWarn("Unable to suspend %lu of %lu threads\n",
                      static_cast<unsigned long>(others - blocking - ended - stopped),
                      static_cast<unsigned long>(others));
    }
    return stopped == others;
}

bool CRSProcessResumeAllOtherThreads(CRSProcess* process) {
    ThreadParkingArea* area = parkingArea();
    if (!process->suspended || area == nullptr) return false;
    ThreadParking::release(area);
    process->suspended = false;
    return true;
}

bool CRSProcessGetThreadState(const CRSProcess* process, pid_t thread, CRSThreadContext* context) {
    if (!CRSIsValidPointer(reinterpret_cast<std::uintptr_t>(context))) {
        CRSSDKLogError("Invalid context supplied\n");
        return false;
    }
    if (thread == process->crashedThread && process->uap != nullptr) {
        CRSThreadContextFromUContext(process->uap, context);
        return true;
    }
    if (thread == process->crashedThread && process->crashedState != nullptr) {
        *context = process->crashedState->registers;
        return true;
    }
    if (thread == process->thisThread) {
        CRSSDKLogWarn("Faking current thread\n");
        captureCallerState(context);
        return true;
    }
    const ThreadParkingArea* area = parkingArea();
    const greg_t* registers =
        process->suspended && area != nullptr ? ThreadParking::registersOf(area, thread) : nullptr;
    if (registers == nullptr) {
        CRSSDKLogError("Failed to get thread state via thread_get_state for thread: %d\n",
                       static_cast<int>(thread));
        return false;
    }
    CRSThreadContextFromGregs(registers, context);
    return true;
}

void CRSProcessFindThreadStacks(CRSProcess* process) {
    std::uintptr_t sps[kCRSProcessMaxThreads];
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        sps[i] = stackPointerOf(process, process->threads[i]);
        process->stackLow[i] = process->stackHigh[i] = 0;
        CRSThreadStacksFindNoted(process->threads[i], sps[i], &process->stackLow[i],
                                 &process->stackHigh[i]);
    }
    CRSThreadStacksFindInMemoryMap(sps, process->threadCount, process->stackLow,
                                   process->stackHigh);
}

bool CRSProcessRecordAllThreads(const CRSProcess* process, CRSFile* file) {
    CRSFileWriteSectionStart(file, "threads");
    CRSFileWriteArrayStart(file);
    bool allRecorded = true;
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        CRSSDKLogInfo("recording thread %d data\n", static_cast<int>(i));
        const pid_t thread = process->threads[i];
        const bool crashed = thread == process->crashedThread;
        CRSThreadContext context;
        if (!CRSProcessGetThreadState(process, thread, &context)) {
            CRSSDKLogError("Unable to get thread state\n");
            writeEmptyThread(file, crashed);
            allRecorded = false;
            continue;
        }
        const bool atReturnAddress = crashed && process->uap == nullptr &&
                                     process->crashedState != nullptr &&
                                     process->crashedState->pcIsReturnAddress;
        // Writes nothing when the unwinder cannot start from these registers.
        if (!CRSThreadRecorderWriteThread(file, context, crashed, process->stackLow[i],
                                          process->stackHigh[i], atReturnAddress)) {
            writeEmptyThread(file, crashed);
            allRecorded = false;
        }
    }
    CRSFileWriteArrayEnd(file);
    CRSFileWriteSectionEnd(file);
    CRSSDKLogInfo("Completed recording all thread data\n");
    return allRecorded;
}

void CRSProcessRecordThreadNames(const CRSProcess* process, CRSFile* file) {
    CRSFileWriteSectionStart(file, "thread_names");
    CRSFileWriteArrayStart(file);
    for (std::size_t i = 0; i < process->threadCount; ++i) {
        char name[64];
        TaskThreads::name(process->threads[i], name, sizeof name);
        CRSFileWriteArrayEntryString(file, name);
    }
    CRSFileWriteArrayEnd(file);
    CRSFileWriteSectionEnd(file);
}

void CRSProcessRecordDispatchQueueNames(const CRSProcess* process, CRSFile* file) {
    CRSFileWriteSectionStart(file, "dispatch_queue_names");
    CRSFileWriteArrayStart(file);
    for (std::size_t i = 0; i < process->threadCount; ++i) CRSFileWriteArrayEntryString(file, "");
    CRSFileWriteArrayEnd(file);
    CRSFileWriteSectionEnd(file);
}

void CRSProcessRecordRuntimeInfo(const CRSProcess*, CRSFile* file) {
    CRSFileWriteSectionStart(file, "runtime");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryString(file, "objc_selector", "");
    CRSFileWriteHashKey(file, "crash_info_entries");
    CRSFileWriteArrayStart(file);
    CRSFileWriteArrayEnd(file);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

}  // namespace pex
