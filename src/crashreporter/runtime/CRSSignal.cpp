#include "crashreporter/runtime/CRSSignal.h"

#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSHandler.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSThreadSignalStacks.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "platform/mach/CrashSignals.h"

namespace pex {

namespace {

constexpr const auto& kHandledSignals = kCrashFaultSignals;
static_assert(std::size(kHandledSignals) == kCRSSignalCount);

bool contextPresent() {
    return reinterpret_cast<std::uintptr_t>(crsContext) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(crsContext->readonly) >= 4096;
}

bool isRealHandler(const struct sigaction& action) {
    if (action.sa_flags & SA_SIGINFO) return action.sa_sigaction != nullptr;
    return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN &&
           action.sa_handler != nullptr;
}

bool hasHandler(const struct sigaction& action) {
    return reinterpret_cast<void*>(action.sa_handler) != nullptr;
}

// SIGSYS's one code (from a seccomp filter); the C library names it only in some modes.
constexpr int kSysSeccomp = 1;

// The kernel's name for a signal's own code (positive si_code values mean something else for
// each signal).
const char* ownCodeName(int signal, int code) {
    switch (signal) {
        case SIGILL:
            switch (code) {
                case ILL_ILLOPC:
                    return "ILL_ILLOPC";
                case ILL_ILLOPN:
                    return "ILL_ILLOPN";
                case ILL_ILLADR:
                    return "ILL_ILLADR";
                case ILL_ILLTRP:
                    return "ILL_ILLTRP";
                case ILL_PRVOPC:
                    return "ILL_PRVOPC";
                case ILL_PRVREG:
                    return "ILL_PRVREG";
                case ILL_COPROC:
                    return "ILL_COPROC";
                case ILL_BADSTK:
                    return "ILL_BADSTK";
            }
            break;
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV:
                    return "FPE_INTDIV";
                case FPE_INTOVF:
                    return "FPE_INTOVF";
                case FPE_FLTDIV:
                    return "FPE_FLTDIV";
                case FPE_FLTOVF:
                    return "FPE_FLTOVF";
                case FPE_FLTUND:
                    return "FPE_FLTUND";
                case FPE_FLTRES:
                    return "FPE_FLTRES";
                case FPE_FLTINV:
                    return "FPE_FLTINV";
                case FPE_FLTSUB:
                    return "FPE_FLTSUB";
            }
            break;
        case SIGSEGV:
            switch (code) {
                case SEGV_MAPERR:
                    return "SEGV_MAPERR";
                case SEGV_ACCERR:
                    return "SEGV_ACCERR";
                case SEGV_BNDERR:
                    return "SEGV_BNDERR";
                case SEGV_PKUERR:
                    return "SEGV_PKUERR";
            }
            break;
        case SIGBUS:
            switch (code) {
                case BUS_ADRALN:
                    return "BUS_ADRALN";
                case BUS_ADRERR:
                    return "BUS_ADRERR";
                case BUS_OBJERR:
                    return "BUS_OBJERR";
                case BUS_MCEERR_AR:
                    return "BUS_MCEERR_AR";
                case BUS_MCEERR_AO:
                    return "BUS_MCEERR_AO";
            }
            break;
        case SIGTRAP:
            switch (code) {
                case TRAP_BRKPT:
                    return "TRAP_BRKPT";
                case TRAP_TRACE:
                    return "TRAP_TRACE";
                case TRAP_BRANCH:
                    return "TRAP_BRANCH";
                case TRAP_HWBKPT:
                    return "TRAP_HWBKPT";
            }
            break;
        case SIGSYS:
            if (code == kSysSeccomp) return "SYS_SECCOMP";
            break;
    }
    return nullptr;
}

// The codes every signal shares: who sent it.
const char* senderCodeName(int code) {
    switch (code) {
        case SI_USER:
            return "SI_USER";
        case SI_KERNEL:
            return "SI_KERNEL";
        case SI_QUEUE:
            return "SI_QUEUE";
        case SI_TIMER:
            return "SI_TIMER";
        case SI_MESGQ:
            return "SI_MESGQ";
        case SI_ASYNCIO:
            return "SI_ASYNCIO";
        case SI_SIGIO:
            return "SI_SIGIO";
        case SI_TKILL:
            return "SI_TKILL";
    }
    return nullptr;
}

void writeSignalRecord(CRSFile* file, int savedErrno, const siginfo_t* info) {
    CRSFileWriteSectionStart(file, "signal");
    CRSFileWriteHashStart(file);
    if (info != nullptr) {
        const char* name = nullptr;
        const char* codeName = nullptr;
        CRSSignalLookupNames(info->si_signo, info->si_code, &name, &codeName);
        CRSFileWriteHashEntryUint64(file, "number", static_cast<std::uint32_t>(info->si_signo));
        // Signed: the codes of a signal sent by a process (SI_USER, SI_TKILL, ...) are not
        // above zero.
        CRSFileWriteHashEntryInt64(file, "code", info->si_code);
        // The faulting address for a fault the kernel raised; for a signal sent by kill() or
        // tgkill() the same bytes hold the sender's pid and uid ("kernel_code_name" tells them
        // apart).
        CRSFileWriteHashEntryUint64(file, "address",
                                    reinterpret_cast<std::uintptr_t>(info->si_addr));
        CRSFileWriteHashEntryString(file, "name", name);
        CRSFileWriteHashEntryString(file, "code_name", codeName);
    }
    CRSFileWriteHashEntryInt64(file, "errno", savedErrno);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    CRSFileWriteHashEntryUint64(file, "time", static_cast<std::uint64_t>(now.tv_sec));
    if (info != nullptr) {
        if (const char* kernelName = CRSSignalKernelCodeName(info->si_signo, info->si_code)) {
            CRSFileWriteHashEntryString(file, "kernel_code_name", kernelName);
        }
    }
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

// A thread's own alternate stack, released when the thread ends.
struct ThreadSignalStack {
    CRSThreadSignalStack stack;
    ~ThreadSignalStack() {
        if (stack.mapping == nullptr) return;
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        sigaltstack(&disable, nullptr);
        CRSThreadSignalStackUnmap(stack);
    }
};

// Returning from the handler repeats only a fault: the instruction runs again. A signal sent by
// kill() or raise(), a breakpoint trap (execution goes on after it) and a refused system call
// are sent anew once the earlier action is back, which then runs exactly once.
bool repeatsByItself(int signal, const siginfo_t* info) {
    return reinterpret_cast<std::uintptr_t>(info) < 4096 ||
           (info->si_code > 0 && signal != SIGTRAP && signal != SIGSYS);
}

// The signal whose crash is being recorded (0 before one, or while an exception is).
std::atomic<int> recordedSignal{0};

// The recording thread itself faulted: the record cannot go on, and nothing else will finish
// it. The process ends by the signal being recorded, as it would have without crash reporting
// (by this fault when an exception was being recorded); nothing of the damaged process runs on
// the way out.
[[noreturn]] void endByTheRecordedSignal(int signal) {
    const int recorded = recordedSignal.load(std::memory_order_acquire);
    const int ending = recorded != 0 ? recorded : signal;
    CRSSDKLogError("Error: the crash record faulted, ending the process by signal %d\n", ending);
    struct sigaction defaultAction {};
    sigaction(ending, &defaultAction, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, ending);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), ending);
    // Only a signal whose default is to go on gets here.
    _exit(1);
}

// What the recording needs unblocked on its thread: the handled signals, so that a fault
// inside the record comes back to the handler (and ends the process) instead of the kernel
// ending it silently. Every other signal stays as the thread had it.
void unblockHandledSignals() {
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : kHandledSignals) sigaddset(&handled, signal);
    if (sigprocmask(SIG_UNBLOCK, &handled, nullptr) != 0) {
        CRSSDKLogError("Unable to unmask signals - we risk infinite recursion here\n");
    }
}

// The room left below the handler on the alternate stack it runs on; unbounded on the thread's
// own stack.
std::size_t roomOnThisStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_ONSTACK)) {
        return SIZE_MAX;
    }
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    const auto low = reinterpret_cast<std::uintptr_t>(current.ss_sp);
    return here > low ? here - low : 0;
}

struct SignalRecording {
    int savedErrno;
    siginfo_t* info;
    const ucontext_t* userContext;
};

// Writes the signal record and runs the crash body into it.
void writeCrashRecord(const SignalRecording& recording) {
    CRSFile file;
    if (CRSFileInitWithPathMode(&file, crsContext->readonly->signal.path, true, false)) {
        writeSignalRecord(&file, recording.savedErrno, recording.info);
        CRSHandler(&file, static_cast<pid_t>(syscall(SYS_gettid)), recording.userContext, true);
        CRSFileClose(&file);
    } else {
        CRSSDKLogError("Unable to open signal file\n");
    }
}

// Only one thread records at a time (the crashed flag), so one set of these serves it.
SignalRecording gRecordingStackCall;
ucontext_t gRecordingStackContext;
ucontext_t gRecordingStackReturn;

void writeCrashRecordOnRecordingStack() {
    writeCrashRecord(gRecordingStackCall);
}

// A foreign alternate stack may be far smaller than the record needs: the record is then
// written on the reporter's own stack, and the handler goes on where it was.
void writeCrashRecordWithRoom(const CRSSignalReadOnlyContext* context,
                              const SignalRecording& recording) {
    const CRSThreadSignalStack& own = context->recordingStack;
    if (roomOnThisStack() >= kCRSSignalRecordStackNeed || own.base == nullptr) {
        writeCrashRecord(recording);
        return;
    }
    CRSSDKLogWarn("The signal stack is too small to record on: recording on the reporter's own\n");
    gRecordingStackCall = recording;
    if (getcontext(&gRecordingStackContext) != 0) {
        writeCrashRecord(recording);
        return;
    }
    gRecordingStackContext.uc_stack.ss_sp = own.base;
    gRecordingStackContext.uc_stack.ss_size = kCRSThreadSignalStackSize;
    gRecordingStackContext.uc_stack.ss_flags = 0;
    gRecordingStackContext.uc_link = &gRecordingStackReturn;
    makecontext(&gRecordingStackContext, writeCrashRecordOnRecordingStack, 0);
    if (swapcontext(&gRecordingStackReturn, &gRecordingStackContext) != 0) {
        writeCrashRecord(recording);
    }
}

// A fault of another thread while the first crash is recorded: it waits, so the record is
// completed and the process ends by the first signal once that is handed back. Should the
// record never complete, this thread's own signal is handed back and ends it.
void awaitTheFirstCrash(int signal, siginfo_t* info, void* userContext) {
    CRSSDKLogError("Signal %d while a crash is recorded: waiting for that record\n", signal);
    // Once the record is complete, this signal goes to what is installed now (should the first
    // one not have ended the process).
    if (!CRSSignalAwaitRecordedCrash()) {
        CRSSDKLogError("The crash record did not complete in time\n");
        CRSSignalSafeInstallPreexistingHandlers(&crsContext->readonly->signal, -1, info,
                                                userContext);
    }
    if (!repeatsByItself(signal, info)) {
        syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), signal);
    }
}

}  // namespace

bool CRSSignalAwaitRecordedCrash() {
    if (!CRSContextWaitForCrashRecorded(kCRSSecondFaultWaitNanoseconds)) return false;
    // The first crash is handed back and ends the process in a moment.
    timespec remaining{static_cast<time_t>(kCRSSecondFaultAfterRecordNanoseconds / 1000000000),
                       static_cast<long>(kCRSSecondFaultAfterRecordNanoseconds % 1000000000)};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
    return true;
}

void CRSSignalForEachHandled(const std::function<void(int index, int signal)>& body) {
    for (int i = 0; i < kCRSSignalCount; ++i) body(i, kHandledSignals[i]);
}

const char* CRSSignalKernelCodeName(int signal, int code) {
    const char* name = ownCodeName(signal, code);
    return name != nullptr ? name : senderCodeName(code);
}

void CRSSignalLookupNames(int signal, int /*code*/, const char** name, const char** codeName) {
    if (name == nullptr || codeName == nullptr) return;
    *codeName = nullptr;
    switch (signal) {
        case SIGILL:
            *name = "SIGILL";
            break;
        case SIGTRAP:
            *name = "SIGTRAP";
            break;
        case SIGABRT:
            *name = "SIGABRT";
            *codeName = "ABORT";
            break;
        case SIGBUS:
            *name = "SIGBUS";
            break;
        case SIGFPE:
            *name = "SIGFPE";
            break;
        case SIGSEGV:
            *name = "SIGSEGV";
            break;
        case SIGSYS:
            *name = "SIGSYS";
            break;
        default:
            *name = "UNKNOWN";
            break;
    }
}

bool CRSSignalInstallAltStack(CRSSignalReadOnlyContext* context) {
    if (!contextPresent()) return false;
    stack_t stack{};
    stack.ss_sp = crsContext->readonly->signalStack;
    stack.ss_size = kCRSSignalStackSize;
    stack.ss_flags = 0;
    stack_t previous{};
    if (sigaltstack(&stack, &previous) != 0) {
        CRSSDKLogError("Unable to setup stack %s\n", strerrorname_np(errno));
        return false;
    }
    context->originalStack = previous;
    return true;
}

void CRSSignalInstallHandlers(CRSSignalReadOnlyContext* context) {
    for (int index = 0; index < kCRSSignalCount; ++index) {
        const int signal = kHandledSignals[index];
        struct sigaction action {};
        action.sa_sigaction = CRSSignalHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        struct sigaction previous {};
        if (sigaction(signal, &action, &previous) != 0) {
            CRSSDKLogError("Unable to install handler for %d (%s)\n", signal,
                           strerrorname_np(errno));
        }
        std::memset(&context->originalActions[index], 0, sizeof(struct sigaction));
        if (hasHandler(previous) && reinterpret_cast<void*>(previous.sa_sigaction) !=
                                        reinterpret_cast<void*>(CRSSignalHandler)) {
            context->originalActions[index] = previous;
        }
    }
}

void CRSSignalInitialize(CRSSignalReadOnlyContext* context) {
    if (context == nullptr) return;
    if (!CRSUnlinkIfExists(context->path)) {
        CRSErrorLog(std::string("Unable to reset the signal log file ") + strerror(errno));
    }
    if (context->recordingStack.mapping == nullptr) {
        context->recordingStack = CRSThreadSignalStackMap();
    }
    CRSSignalInstallHandlers(context);
}

void CRSSignalInstallThreadAltStack() {
    thread_local ThreadSignalStack own;
    if (own.stack.mapping != nullptr) return;
    // A stack registered by someone else (or given at set-up) stays.
    if (CRSThreadHasSignalStack()) return;
    const CRSThreadSignalStack stack = CRSThreadSignalStackMap();
    if (!CRSThreadSignalStackRegister(stack)) {
        CRSThreadSignalStackUnmap(stack);
        return;
    }
    own.stack = stack;
}

// Crash-time code from here on: plain loops, no function objects (nothing that might allocate).
void CRSSignalSafeRemoveHandlers(bool includingAbort) {
    for (const int signal : kHandledSignals) {
        if (signal == SIGABRT && !includingAbort) continue;
        struct sigaction action {};
        if (sigaction(signal, &action, nullptr) != 0) {
            CRSSDKLogError("Unable to set default handler for %d (%s)\n", signal,
                           strerrorname_np(errno));
        }
    }
}

bool CRSSignalSafeInstallPreexistingHandlers(const CRSSignalReadOnlyContext* context, int signal,
                                             siginfo_t* info, void* userContext) {
    CRSSignalSafeRemoveHandlers(true);
    bool allInstalled = true;
    // The stack cannot be swapped while a handler runs on it (the crash path does); the earlier
    // handlers go back all the same, or the signal would end the process without them.
    const stack_t& original = context->originalStack;
    if (original.ss_sp != nullptr && !(original.ss_flags & SS_DISABLE) &&
        sigaltstack(&original, nullptr) != 0) {
        CRSSDKLogError("Unable to setup stack %s\n", strerrorname_np(errno));
        allInstalled = false;
    }
    for (int index = 0; index < kCRSSignalCount; ++index) {
        const struct sigaction& action = context->originalActions[index];
        if (!hasHandler(action)) continue;
        const int handled = kHandledSignals[index];
        if (sigaction(handled, &action, nullptr) != 0) {
            CRSSDKLogError("Unable to install handler for %d (%s)\n", handled,
                           strerrorname_np(errno));
            allInstalled = false;
        }
        // Only a function can be called: an "ignore" disposition is only re-installed.
        if (signal >= 0 && signal == handled && isRealHandler(action)) {
            if (action.sa_flags & SA_SIGINFO) {
                action.sa_sigaction(signal, info, userContext);
            } else {
                action.sa_handler(signal);
            }
        }
    }
    return allInstalled;
}

void CRSSignalRestoreAbortAction(const CRSSignalReadOnlyContext* context) {
    struct sigaction action {};
    for (int index = 0; index < kCRSSignalCount; ++index) {
        if (kHandledSignals[index] == SIGABRT && context != nullptr &&
            hasHandler(context->originalActions[index])) {
            action = context->originalActions[index];
        }
    }
    if (sigaction(SIGABRT, &action, nullptr) != 0) {
        CRSSDKLogError("Unable to install handler for %d (%s)\n", SIGABRT, strerrorname_np(errno));
    }
}

void CRSSignalHandler(int signal, siginfo_t* info, void* userContext) {
    const int savedErrno = errno;
    errno = 0;
    CRSSDKLogError("Signal: %d\n", signal);

    if (!contextPresent()) {
        CRSSignalSafeRemoveHandlers(true);
        errno = savedErrno;
        return;
    }
    // The handlers stay installed while a crash is recorded, so a fault during that time comes
    // back here. Checked before any signal is unblocked.
    if (CRSContextMarkAndCheckIfCrashed()) {
        if (CRSContextCrashingThread() == static_cast<pid_t>(syscall(SYS_gettid))) {
            CRSSDKLogError("Error: aborting signal handler because crash has already occurred\n");
            endByTheRecordedSignal(signal);
        }
        awaitTheFirstCrash(signal, info, userContext);
        errno = savedErrno;
        return;
    }
    recordedSignal.store(signal, std::memory_order_release);
    unblockHandledSignals();
    if (reinterpret_cast<std::uintptr_t>(info) < 4096) info = nullptr;
    if (reinterpret_cast<std::uintptr_t>(userContext) < 4096) userContext = nullptr;

    const CRSSignalReadOnlyContext* context = &crsContext->readonly->signal;
    writeCrashRecordWithRoom(context,
                             {savedErrno, info, static_cast<const ucontext_t*>(userContext)});

    const bool repeats = repeatsByItself(signal, info);
    CRSSignalSafeInstallPreexistingHandlers(context, repeats ? signal : -1, info, userContext);
    CRSContextMarkCrashRecorded();
    if (!repeats) syscall(SYS_tgkill, getpid(), syscall(SYS_gettid), signal);
    errno = savedErrno;
}

void CRSSignalCheckHandlers() {
    if (!contextPresent()) return;
    if (crsContext->readonly->debuggerAttached) {
        CRSWarningLog(
            "[CrashReporter] App is attached to a debugger, to see the crash reports please "
            "detach from the debugger, https://pexmora.app/help/crash-reports");
        return;
    }
    CRSSignalForEachHandled([](int, int signal) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0) {
            std::fprintf(stderr, "Unable to read signal handler\n");
            return;
        }
        if (reinterpret_cast<void*>(current.sa_sigaction) ==
            reinterpret_cast<void*>(CRSSignalHandler)) {
            return;
        }
        const char* name = nullptr;
        const char* codeName = nullptr;
        CRSSignalLookupNames(signal, 0, &name, &codeName);
        CRSDladdr(
            reinterpret_cast<void*>(current.sa_handler), [name](const char* symbol, const char*) {
                std::fprintf(stderr,
                             "[CrashReporter] The signal %s has a non-CrashReporter handler (%s).  "
                             "This will interfere with reporting.\n",
                             name, symbol != nullptr ? symbol : "(null)");
            });
    });
}

}  // namespace pex
