#include "platform/mach/ThreadParking.h"

#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/mach/TaskThreads.h"

namespace pex {

namespace {

std::atomic<ThreadParkingArea*> installedArea{nullptr};

template <typename T>
std::atomic_ref<T> atomic(T& value) {
    return std::atomic_ref<T>(value);
}

void futexWait(std::uint32_t* word, std::uint32_t expected, const timespec* timeout) {
    syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, expected, timeout, nullptr, 0);
}

void futexWakeAll(std::uint32_t* word) {
    syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool claim(ParkedThreadSlot& slot, ParkedThreadState to) {
    auto expected = ParkedThreadState::requested;
    return atomic(slot.state).compare_exchange_strong(expected, to, std::memory_order_acq_rel);
}

bool isRequested(ParkedThreadSlot& slot) {
    return atomic(slot.state).load(std::memory_order_acquire) == ParkedThreadState::requested;
}

// How long a thread that runs with the signal blocked is waited for: one that is just starting
// unblocks it within microseconds; one that blocks it for good (a library's own worker, busy for
// a moment or waiting for the processor on a loaded machine) would never answer.
constexpr std::int64_t kBlockedRunningGraceNanoseconds = 20'000'000;

// A thread asleep with the signal blocked answers only once it wakes and unblocks it, which it
// may never do, and one that has ended never answers: neither is waited for, and one that runs
// with the signal blocked only within the grace. What was seen is kept in the slot: the end of
// the wait judges each thread by the same look that let the wait end.
bool isAwaited(ParkedThreadSlot& slot, int signal, bool graceOver) {
    if (!isRequested(slot)) return false;
    const TaskThreads::SignalReach reach = TaskThreads::signalReach(slot.tid, signal);
    slot.lastReach = static_cast<std::int32_t>(reach);
    switch (reach) {
        case TaskThreads::SignalReach::reached:
            return true;
        case TaskThreads::SignalReach::blockedRunning:
            return !graceOver;
        case TaskThreads::SignalReach::blockedAsleep:
        case TaskThreads::SignalReach::gone:
            return false;
    }
    return false;
}

// How often a wait looks again at the threads that block the signal: one that runs now (just
// starting, say) may fall asleep with it blocked.
constexpr std::int64_t kBlockedRecheckNanoseconds = 1'000'000;

// Waits until every asked thread has answered, sleeps with the signal blocked or has ended, at
// most until `deadline`.
void awaitAnswers(ThreadParkingArea* area, std::uint32_t slots, int signal, std::int64_t deadline) {
    const std::int64_t graceEnd = monotonicNanoseconds() + kBlockedRunningGraceNanoseconds;
    for (;;) {
        const bool graceOver = monotonicNanoseconds() >= graceEnd;
        // Read before the states: an answer after this load changes it, so the wait below
        // returns at once.
        const std::uint32_t answered = atomic(area->acknowledged).load(std::memory_order_acquire);
        bool waiting = false;
        for (std::uint32_t i = 0; i < slots; ++i) {
            waiting = isAwaited(area->slots[i], signal, graceOver) || waiting;
        }
        const std::int64_t remaining = deadline - monotonicNanoseconds();
        if (!waiting || remaining <= 0) return;
        const std::int64_t pause = std::min(remaining, kBlockedRecheckNanoseconds);
        const timespec wait{static_cast<time_t>(pause / 1000000000),
                            static_cast<long>(pause % 1000000000)};
        futexWait(&area->acknowledged, answered, &wait);
    }
}

void onParkSignal(int, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    ThreadParkingArea* area = installedArea.load(std::memory_order_acquire);
    // Only our own requests: a signal from another process is ignored.
    if (area != nullptr && info->si_code == SI_TKILL && info->si_pid == getpid()) {
        const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
        const std::uint32_t count = atomic(area->slotCount).load(std::memory_order_acquire);
        for (std::uint32_t i = 0; i < count && i < kThreadParkingCapacity; ++i) {
            ParkedThreadSlot& slot = area->slots[i];
            if (slot.tid != self) continue;
            if (atomic(slot.state).load(std::memory_order_acquire) !=
                ParkedThreadState::requested) {
                break;
            }
            std::memcpy(slot.registers, static_cast<const ucontext_t*>(context)->uc_mcontext.gregs,
                        sizeof slot.registers);
            if (!claim(slot, ParkedThreadState::captured)) break;
            // Read after the claim, which orders it after the request of this round.
            const std::uint32_t round = atomic(area->round).load(std::memory_order_acquire);
            atomic(area->acknowledged).fetch_add(1, std::memory_order_acq_rel);
            futexWakeAll(&area->acknowledged);
            for (;;) {
                const std::uint32_t released =
                    atomic(area->releasedRound).load(std::memory_order_acquire);
                if (released == round) break;
                futexWait(&area->releasedRound, released, nullptr);
            }
            break;
        }
    }
    errno = savedErrno;
}

}  // namespace

int ThreadParking::signalNumber() {
    return SIGRTMIN + 6;
}

bool ThreadParking::install(ThreadParkingArea* area) {
    if (area == nullptr) return false;
    installedArea.store(area, std::memory_order_release);
    struct sigaction action {};
    action.sa_sigaction = onParkSignal;
    // SA_RESTART: a parked thread's interrupted call goes on once it is released.
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    return sigaction(signalNumber(), &action, nullptr) == 0;
}

std::size_t ThreadParking::park(ThreadParkingArea* area, const pid_t* tids, std::size_t count,
                                pid_t self, std::int64_t timeoutNanoseconds, std::size_t* blocking,
                                std::size_t* ended) {
    const std::int64_t deadline = monotonicNanoseconds() + timeoutNanoseconds;
    atomic(area->round).fetch_add(1, std::memory_order_acq_rel);
    atomic(area->slotCount).store(0, std::memory_order_release);
    atomic(area->acknowledged).store(0, std::memory_order_release);

    std::uint32_t slots = 0;
    for (std::size_t i = 0; i < count && slots < kThreadParkingCapacity; ++i) {
        if (tids[i] == self) continue;
        area->slots[slots].tid = tids[i];
        area->slots[slots].lastReach = static_cast<std::int32_t>(TaskThreads::SignalReach::reached);
        atomic(area->slots[slots].state)
            .store(ParkedThreadState::requested, std::memory_order_release);
        ++slots;
    }
    atomic(area->slotCount).store(slots, std::memory_order_release);

    // Sent to a thread that blocks it too: one that is just starting blocks every signal for a
    // moment, and answers once it unblocks them.
    const pid_t pid = getpid();
    for (std::uint32_t i = 0; i < slots; ++i) {
        if (syscall(SYS_tgkill, pid, area->slots[i].tid, signalNumber()) != 0) {
            claim(area->slots[i], ParkedThreadState::failed);
        }
    }
    awaitAnswers(area, slots, signalNumber(), deadline);

    std::size_t skipped = 0;
    std::size_t gone = 0;
    std::size_t captured = 0;
    for (std::uint32_t i = 0; i < slots; ++i) {
        ParkedThreadSlot& slot = area->slots[i];
        // A thread that answers from here on finds its request withdrawn.
        if (isRequested(slot)) {
            const auto reach = static_cast<TaskThreads::SignalReach>(slot.lastReach);
            if (reach == TaskThreads::SignalReach::gone) {
                if (claim(slot, ParkedThreadState::ended)) ++gone;
            } else if (reach != TaskThreads::SignalReach::reached) {
                if (claim(slot, ParkedThreadState::blocking)) ++skipped;
            }
        }
        claim(slot, ParkedThreadState::abandoned);
        if (atomic(slot.state).load(std::memory_order_acquire) == ParkedThreadState::captured) {
            ++captured;
        }
    }
    if (blocking != nullptr) *blocking = skipped;
    if (ended != nullptr) *ended = gone;
    return captured;
}

const greg_t* ThreadParking::registersOf(const ThreadParkingArea* area, pid_t tid) {
    auto& slots = const_cast<ThreadParkingArea*>(area)->slots;
    const std::uint32_t count =
        atomic(const_cast<ThreadParkingArea*>(area)->slotCount).load(std::memory_order_acquire);
    for (std::uint32_t i = 0; i < count && i < kThreadParkingCapacity; ++i) {
        if (slots[i].tid != tid) continue;
        if (atomic(slots[i].state).load(std::memory_order_acquire) != ParkedThreadState::captured) {
            return nullptr;
        }
        return slots[i].registers;
    }
    return nullptr;
}

void ThreadParking::release(ThreadParkingArea* area) {
    atomic(area->releasedRound)
        .store(atomic(area->round).load(std::memory_order_acquire), std::memory_order_release);
    futexWakeAll(&area->releasedRound);
}

}  // namespace pex
