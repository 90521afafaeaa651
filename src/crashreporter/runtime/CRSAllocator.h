#pragma once
// A private memory mapping for everything a crash handler needs, so a heap corrupted by the
// crash cannot damage it:
//
//   guard page | writable region | guard page | read-only region | guard page
//
// The guard pages are inaccessible; the read-only region becomes read-only once set-up is
// done (`CRSAllocatorProtect`). Allocation is a lock-free bump pointer; a full region, a
// missing or an already protected allocator fall back to zero-filled heap memory.
#include <cstddef>
#include <cstdint>

namespace pex {

struct CRSAllocatorRegion {
    std::size_t size;
    std::uintptr_t start;
    std::uintptr_t cursor;  // advanced by compare-and-swap
};

struct CRSAllocator {
    void* buffer;
    bool protectionEnabled;
    CRSAllocatorRegion writableRegion;
    CRSAllocatorRegion readableRegion;
};

// Room kept at the start of the read-only region for the allocator record itself.
inline constexpr std::size_t kCRSAllocatorRecordSize = 64;
static_assert(sizeof(CRSAllocator) <= kCRSAllocatorRecordSize);

enum CRSAllocationType : int {
    CRSAllocationTypeReadOnly = 0,
    CRSAllocationTypeWritable = 1,
};

// Maps the regions with the system's page size; nothing when mapping or guarding fails.
// The allocator is never released.
CRSAllocator* CRSAllocatorCreate(std::size_t writableSize, std::size_t readableSize);
// The same with a given page size (a multiple of the system's), for hosts whose page size
// differs from the one the process sees.
CRSAllocator* CRSAllocatorCreateWithPageSize(std::size_t writableSize, std::size_t readableSize,
                                             std::size_t pageSize);

// `size` bytes from the region of `type`, not initialised when taken from the region (callers
// zero it). No alignment is added: callers ask for sizes that keep it.
void* CRSAllocatorSafeAllocate(CRSAllocator* allocator, std::size_t size, int type);

// Makes the read-only region read-only; true when it now is.
bool CRSAllocatorProtect(CRSAllocator* allocator);

// The total size of the mapping, guard pages included.
std::size_t CRSAllocatorMappingSize(const CRSAllocator* allocator);

}  // namespace pex
