#pragma once
// Counts the heap in use through every operator new of the program, so a benchmark can report
// the peak a piece of work reaches. Include it in exactly one file of a benchmark program: it
// replaces the global operators new and delete.
#include <atomic>
#include <cstdlib>
#include <new>

#include <malloc.h>

namespace pex::bench {

inline std::atomic<long long> heapInUse{0};
inline std::atomic<long long> heapPeak{0};

inline void* countedAllocation(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    const long long now = heapInUse += static_cast<long long>(malloc_usable_size(block));
    long long peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return block;
}

inline void countedRelease(void* block) {
    if (!block) return;
    heapInUse -= static_cast<long long>(malloc_usable_size(block));
    std::free(block);
}

// The highest heap in use above the level before `work`, in bytes.
template <typename Work>
long long peakHeapAbove(Work&& work) {
    const long long before = heapInUse.load();
    heapPeak.store(before);
    work();
    return heapPeak.load() - before;
}

}  // namespace pex::bench

void* operator new(std::size_t size) {
    return pex::bench::countedAllocation(size);
}
void* operator new[](std::size_t size) {
    return pex::bench::countedAllocation(size);
}
void operator delete(void* block) noexcept {
    pex::bench::countedRelease(block);
}
void operator delete[](void* block) noexcept {
    pex::bench::countedRelease(block);
}
void operator delete(void* block, std::size_t) noexcept {
    pex::bench::countedRelease(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    pex::bench::countedRelease(block);
}
// The non-throwing forms too: a block from a library's nothrow new would otherwise come back
// through the counted delete above without having been counted (or, under AddressSanitizer,
// from a different allocator).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return pex::bench::countedAllocation(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return pex::bench::countedAllocation(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    pex::bench::countedRelease(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    pex::bench::countedRelease(block);
}
