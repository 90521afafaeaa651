#pragma once
// One process-wide function that the product's own threads run when they start (and the worker
// pool's threads before each job, so threads started before the hook was set run it too).
// The crash reporter uses it to give each thread an alternate signal stack. The hook must be
// cheap when repeated on one thread.
namespace pex {

using ThreadStartHook = void (*)();

// Replaces the hook; null removes it.
void setThreadStartHook(ThreadStartHook hook);
// Runs the hook, if any, on the calling thread.
void runThreadStartHook();

}  // namespace pex
