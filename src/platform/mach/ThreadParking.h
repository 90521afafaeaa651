#pragma once
// Stops the other threads of the own process and takes their registers, the way a crash
// handler needs: Linux has no call that suspends a thread of the own process or reads its
// registers, so each thread is sent a reserved real-time signal with `tgkill`. Its handler
// copies the interrupted registers into the thread's slot of a caller-provided area,
// acknowledges and waits until released. The area lives in memory the crash has not damaged
// (the crash context); nothing here allocates or takes a lock.
#include <sys/types.h>
#include <ucontext.h>

#include <cstddef>
#include <cstdint>

namespace pex {

inline constexpr std::size_t kThreadParkingCapacity = 1024;

enum class ParkedThreadState : std::int32_t {
    idle = 0,
    requested,  // signal sent, no answer yet
    captured,   // registers copied, thread waiting for release
    failed,     // the signal could not be sent
    abandoned,  // no answer within the bound: the slot's registers are never used
    blocking,   // the thread blocks the signal: it was not waited for
    ended,      // the thread ended meanwhile: it was not waited for
};

struct ParkedThreadSlot {
    pid_t tid;
    ParkedThreadState state;
    // What the last look at the thread saw (a TaskThreads::SignalReach), for the suspender only.
    std::int32_t lastReach;
    gregset_t registers;
};

struct ThreadParkingArea {
    std::uint32_t round;          // one per suspension
    std::uint32_t releasedRound;  // parked threads wait until it reaches their round
    std::uint32_t acknowledged;   // answers in this round; the suspender waits on it
    std::uint32_t slotCount;
    ParkedThreadSlot slots[kThreadParkingCapacity];
};

class ThreadParking {
  public:
    // The reserved real-time signal.
    static int signalNumber();

    // Installs the signal's handler, answering into `area`. Safe to call from a signal handler
    // and to repeat; the handler stays installed, so a signal that arrives late (a thread that
    // had it blocked) finds no request and returns at once.
    static bool install(ThreadParkingArea* area);

    // Parks every thread in `tids` except `self` and waits at most `timeoutNanoseconds` in all
    // for their answers. Answers how many were captured. Threads that did not answer in time
    // are abandoned: they do not wait once their signal arrives. A thread that sleeps with the
    // signal blocked (some libraries' threads block every signal) answers only once it wakes
    // and unblocks it, if ever: it is not waited for; `blocking` (when given) receives how many
    // were skipped so, and `ended` how many ended meanwhile.
    static std::size_t park(ThreadParkingArea* area, const pid_t* tids, std::size_t count,
                            pid_t self, std::int64_t timeoutNanoseconds,
                            std::size_t* blocking = nullptr, std::size_t* ended = nullptr);

    // The registers of a captured thread, or nothing.
    static const greg_t* registersOf(const ThreadParkingArea* area, pid_t tid);

    // Lets every parked thread of the last round go on.
    static void release(ThreadParkingArea* area);
};

}  // namespace pex
