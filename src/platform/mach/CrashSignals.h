#pragma once
// The signals a crash reporter must be able to deliver to every thread of the process: the
// faults it records and its two reserved real-time signals, one that stops a thread while a
// crash is recorded (see ThreadParking) and one that gives a thread an alternate stack.
//
// Some libraries run their threads with every signal blocked, so that asynchronous signals go
// to the main thread (the sound client's main loop does). A fault on such a thread ends the
// process before any handler runs, and the thread cannot be stopped to be recorded. Code of
// ours that runs on such a thread calls `acceptCrashSignals` there.
#include <signal.h>

namespace pex {

// The faults a crash is recorded for, in the order the crash reporter keeps its handlers.
inline constexpr int kCrashFaultSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL,
                                             SIGSEGV, SIGSYS, SIGTRAP};

// The reserved signal that asks a thread to take an alternate stack.
int crashStackRequestSignal();

// Unblocks the fault signals and both reserved signals on the calling thread, leaving every
// other signal as it was. Cheap when repeated on one thread.
void acceptCrashSignals();

}  // namespace pex
