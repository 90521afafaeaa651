#pragma once
// One process-wide function that the product's own threads run when they start (see
// ThreadLauncher). The crash reporter uses it to give each thread an alternate signal stack;
// threads that were running before it was set are reached another way. The hook must be cheap
// when repeated on one thread.
namespace pex {

using ThreadStartHook = void (*)();

// Replaces the hook; null removes it.
void setThreadStartHook(ThreadStartHook hook);
// Runs the hook, if any, on the calling thread.
void runThreadStartHook();

}  // namespace pex
