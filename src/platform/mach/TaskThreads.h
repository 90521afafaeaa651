#pragma once
// The threads of the own process, as a crash handler needs them: their ids from
// "/proc/self/task" and their names from ".../comm", read with raw `open`, `getdents64` and
// `read` into caller or stack buffers, so listing allocates nothing and takes no lock.
#include <sys/types.h>

#include <cstddef>

namespace pex {

class TaskThreads {
  public:
    // Fills `tids` with the ids of the process's threads in the kernel's order (the main thread
    // first) and answers how many; threads beyond `capacity` are left out. -1 when the list
    // cannot be read.
    static long list(pid_t* tids, std::size_t capacity);

    // The id of the calling thread.
    static pid_t currentThread();

    // The thread's name as the kernel keeps it (at most 15 bytes), terminated, without the
    // trailing newline; false (and an empty `name`) when it cannot be read.
    static bool name(pid_t tid, char* name, std::size_t capacity);

    // Whether a signal sent to the thread now would reach it, from its ".../status": not while it
    // sleeps with the signal blocked (it then answers only once it wakes and unblocks it, which
    // it may never do), nor once it has ended. A thread that runs with it blocked may be one that
    // is just starting (it blocks every signal for a moment) or one that blocks it for good.
    enum class SignalReach { reached, blockedAsleep, blockedRunning, gone };
    static SignalReach signalReach(pid_t tid, int signal);
};

}  // namespace pex
