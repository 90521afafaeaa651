#pragma once
// Tells ThreadSanitizer about an order that a library without its instrumentation keeps out of
// its sight (Qt's futex-based event queue, for one): what a thread did before `handOver(p)` is
// seen by the thread that calls `takeOver(p)` after it. Both do nothing in other builds.
namespace pex {

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
inline void handOver(void* token) {
    __tsan_release(token);
}
inline void takeOver(void* token) {
    __tsan_acquire(token);
}
#else
inline void handOver(void*) {}
inline void takeOver(void*) {}
#endif

}  // namespace pex
