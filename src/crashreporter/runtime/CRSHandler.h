#pragma once
// The body every crash path shares once it has written its own record (the signal, the
// exception): the state of the whole process, then the marker the next launch looks for.
#include <sys/types.h>
#include <ucontext.h>

#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSProcess.h"

namespace pex {

// Writes into the open `file`, in this order: "threads", "runtime", "dispatch_queue_names",
// "thread_names", "process_stats", "storage"; then creates the "previously-crashed" marker.
// `context` is the signal's user context of `crashedThread`, or nothing. With `suspend`, the
// other threads are stopped while they are recorded and released at the end.
// Without a signal, `state` may give the crashed thread's registers instead (a crash recorded
// on the crashed thread itself, from the frame its stack should start at).
void CRSHandler(CRSFile* file, pid_t crashedThread, const ucontext_t* context, bool suspend,
                const CRSCrashedThreadState* state = nullptr);

}  // namespace pex
