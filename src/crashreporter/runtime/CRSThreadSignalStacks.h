#pragma once
// Alternate signal stacks for threads. A stack overflow can only be recorded on a thread that
// has one, and each thread needs its own. Threads started after crash reporting's set-up take
// theirs as they start (the thread-start hook); the threads that exist at set-up are each sent a
// reserved real-time signal whose handler registers a stack prepared for it.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace pex {

// A stack of `kCRSThreadSignalStackSize` bytes above an inaccessible guard page, so a handler
// that overflows it faults instead of writing on. Nothing when it cannot be mapped.
struct CRSThreadSignalStack {
    void* mapping = nullptr;
    std::size_t mappingSize = 0;
    void* base = nullptr;  // what is registered
};
CRSThreadSignalStack CRSThreadSignalStackMap();
void CRSThreadSignalStackUnmap(const CRSThreadSignalStack& stack);
// True when the calling thread has an alternate stack registered.
bool CRSThreadHasSignalStack();
// Registers `stack` as the calling thread's alternate stack.
bool CRSThreadSignalStackRegister(const CRSThreadSignalStack& stack);

// How long set-up waits for the existing threads' answers; they answer at once unless stopped.
inline constexpr std::int64_t kCRSThreadStackRequestTimeout = 500'000'000;

// The reserved signal that asks a thread to register the stack prepared for it.
int CRSThreadSignalStackRequestSignal();

// Gives the calling thread and every other thread of the process that has no alternate stack
// one of its own, waiting at most `timeoutNanoseconds` for the others' answers. Answers how many
// other threads took one by then. A thread that blocks the request signal is not waited for: it
// takes its stack when it unblocks the signal, if it ever does. A stack given this way stays
// mapped when its thread ends: nothing runs on a thread's way out that could release it.
std::size_t CRSThreadSignalStacksGiveExistingThreads(std::int64_t timeoutNanoseconds);

}  // namespace pex
