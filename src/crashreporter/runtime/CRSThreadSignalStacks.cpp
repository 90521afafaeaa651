#include "crashreporter/runtime/CRSThreadSignalStacks.h"

#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <fstream>
#include <string>

#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSSignal.h"
#include "platform/mach/CrashSignals.h"
#include "platform/mach/TaskThreads.h"
#include "platform/mach/ThreadParking.h"

namespace pex {

namespace {

enum class Request : std::int32_t {
    idle = 0,
    requested,  // signal sent, no answer yet
    claimed,    // the thread is answering
    installed,  // the thread took its stack
    declined,   // it has one already (or could not register this one)
    abandoned,  // no answer in time: the stack is gone, a late answer does nothing
};

struct Slot {
    pid_t tid;
    Request state;
    bool awaited;  // false: the thread blocked the request when asked, so it answers later
    CRSThreadSignalStack stack;
};

// One request round at a time (set-up runs once per launch). Static: a late answer may read it.
Slot gSlots[kThreadParkingCapacity];
std::uint32_t gSlotCount = 0;
std::uint32_t gAnswers = 0;

template <typename T>
std::atomic_ref<T> atomic(T& value) {
    return std::atomic_ref<T>(value);
}

bool move(Slot& slot, Request from, Request to) {
    return atomic(slot.state).compare_exchange_strong(from, to, std::memory_order_acq_rel);
}

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void onRequest(int, siginfo_t* info, void* userContext) {
    const int savedErrno = errno;
    // Only our own requests: a signal from another process is ignored.
    if (info->si_code == SI_TKILL && info->si_pid == getpid()) {
        const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
        const std::uint32_t count = atomic(gSlotCount).load(std::memory_order_acquire);
        for (std::uint32_t i = 0; i < count && i < kThreadParkingCapacity; ++i) {
            Slot& slot = gSlots[i];
            if (slot.tid != self) continue;
            if (!move(slot, Request::requested, Request::claimed)) break;
            // The return from a handler puts back the alternate stack saved in its context, so
            // the new one is registered there; it is in force from the return on.
            stack_t& saved = static_cast<ucontext_t*>(userContext)->uc_stack;
            const bool took = (saved.ss_flags & SS_DISABLE) && slot.stack.base != nullptr;
            if (took) {
                saved.ss_sp = slot.stack.base;
                saved.ss_size = kCRSThreadSignalStackSize;
                saved.ss_flags = 0;
            }
            atomic(slot.state)
                .store(took ? Request::installed : Request::declined, std::memory_order_release);
            if (slot.awaited) {
                atomic(gAnswers).fetch_add(1, std::memory_order_acq_rel);
                syscall(SYS_futex, &gAnswers, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
            }
            break;
        }
    }
    errno = savedErrno;
}

// A thread that blocks the request answers only once it unblocks it, if ever (a thread that is
// just starting has every signal blocked for a moment): its blocked set says so beforehand.
bool blocksRequest(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigBlk:", 0) != 0) continue;
        const unsigned long long blocked = std::stoull(line.substr(7), nullptr, 16);
        return (blocked >> (CRSThreadSignalStackRequestSignal() - 1)) & 1;
    }
    return false;
}

bool installRequestHandler() {
    struct sigaction action {};
    action.sa_sigaction = onRequest;
    // SA_RESTART: the interrupted call of the thread goes on after the answer.
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(CRSThreadSignalStackRequestSignal(), &action, nullptr) == 0;
}

}  // namespace

CRSThreadSignalStack CRSThreadSignalStackMap() {
    const std::size_t guard = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = kCRSThreadSignalStackSize + guard;
    void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) return {};
    if (mprotect(mapping, guard, PROT_NONE) != 0) {
        munmap(mapping, size);
        return {};
    }
    return {mapping, size, static_cast<char*>(mapping) + guard};
}

void CRSThreadSignalStackUnmap(const CRSThreadSignalStack& stack) {
    if (stack.mapping != nullptr) munmap(stack.mapping, stack.mappingSize);
}

bool CRSThreadHasSignalStack() {
    stack_t current{};
    return sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE);
}

bool CRSThreadSignalStackRegister(const CRSThreadSignalStack& stack) {
    if (stack.base == nullptr) return false;
    stack_t registered{};
    registered.ss_sp = stack.base;
    registered.ss_size = kCRSThreadSignalStackSize;
    return sigaltstack(&registered, nullptr) == 0;
}

int CRSThreadSignalStackRequestSignal() {
    return crashStackRequestSignal();
}

std::size_t CRSThreadSignalStacksGiveExistingThreads(std::int64_t timeoutNanoseconds) {
    CRSSignalInstallThreadAltStack();
    if (!installRequestHandler()) {
        CRSSDKLogError("Unable to install the thread stack request handler\n");
        return 0;
    }
    pid_t tids[kThreadParkingCapacity];
    const long listed = TaskThreads::list(tids, kThreadParkingCapacity);
    if (listed < 0) return 0;
    const pid_t self = TaskThreads::currentThread();
    const std::int64_t deadline = monotonicNanoseconds() + timeoutNanoseconds;

    atomic(gSlotCount).store(0, std::memory_order_release);
    atomic(gAnswers).store(0, std::memory_order_release);
    std::uint32_t slots = 0;
    for (long i = 0; i < listed; ++i) {
        if (tids[i] == self) continue;
        const CRSThreadSignalStack stack = CRSThreadSignalStackMap();
        if (stack.mapping == nullptr) continue;
        gSlots[slots].tid = tids[i];
        gSlots[slots].awaited = !blocksRequest(tids[i]);
        gSlots[slots].stack = stack;
        atomic(gSlots[slots].state).store(Request::requested, std::memory_order_release);
        ++slots;
    }
    atomic(gSlotCount).store(slots, std::memory_order_release);

    std::uint32_t awaited = 0;
    for (std::uint32_t i = 0; i < slots; ++i) {
        if (syscall(SYS_tgkill, getpid(), gSlots[i].tid, CRSThreadSignalStackRequestSignal()) ==
            0) {
            if (gSlots[i].awaited) ++awaited;
        } else if (move(gSlots[i], Request::requested, Request::abandoned)) {
            CRSThreadSignalStackUnmap(gSlots[i].stack);  // the thread has ended
        }
    }
    for (;;) {
        const std::uint32_t answered = atomic(gAnswers).load(std::memory_order_acquire);
        const std::int64_t remaining = deadline - monotonicNanoseconds();
        if (answered >= awaited || remaining <= 0) break;
        const timespec wait{static_cast<time_t>(remaining / 1000000000),
                            static_cast<long>(remaining % 1000000000)};
        syscall(SYS_futex, &gAnswers, FUTEX_WAIT_PRIVATE, answered, &wait, nullptr, 0);
    }

    std::size_t installed = 0;
    std::size_t left = 0;
    for (std::uint32_t i = 0; i < slots; ++i) {
        Slot& slot = gSlots[i];
        if (!slot.awaited &&
            atomic(slot.state).load(std::memory_order_acquire) == Request::requested) {
            // Its request stays pending with the stack kept for it, for when it unblocks.
            ++left;
        } else if (move(slot, Request::requested, Request::abandoned)) {
            ++left;
            CRSThreadSignalStackUnmap(slot.stack);
        } else if (move(slot, Request::declined, Request::abandoned)) {
            CRSThreadSignalStackUnmap(slot.stack);
        } else if (atomic(slot.state).load(std::memory_order_acquire) == Request::installed) {
            ++installed;
        }
    }
    CRSSDKLogInfo("Gave %u existing threads an alternate signal stack, %u left without\n",
                  static_cast<unsigned>(installed), static_cast<unsigned>(left));
    return installed;
}

}  // namespace pex
