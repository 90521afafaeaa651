#include "crashreporter/runtime/CRSAllocator.h"

#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "platform/mach/HostInfo.h"

namespace pex {

namespace {

void* allocateFromRegion(CRSAllocatorRegion& region, std::size_t size) {
    std::atomic_ref<std::uintptr_t> cursor(region.cursor);
    std::uintptr_t current = cursor.load();
    // Written so that a huge size cannot wrap the comparison round.
    while (size <= region.size - (current - region.start)) {
        if (cursor.compare_exchange_weak(current, current + size)) {
            return reinterpret_cast<void*>(current);
        }
    }
    CRSSDKLogWarn("Unable to allocate sufficient memory, falling back to calloc\n");
    void* memory = std::calloc(1, size);
    if (memory == nullptr) {
        CRSSDKLogWarn("Unable to calloc in CRSAllocatorSafeAllocateFromRegion\n");
    }
    return memory;
}

}  // namespace

CRSAllocator* CRSAllocatorCreate(std::size_t writableSize, std::size_t readableSize) {
    return CRSAllocatorCreateWithPageSize(writableSize, readableSize, HostInfo::pageSize());
}

CRSAllocator* CRSAllocatorCreateWithPageSize(std::size_t writableSize, std::size_t readableSize,
                                             std::size_t page) {
    const std::size_t writable = writableSize == 0 ? 0 : page * (writableSize / page + 1);
    const std::size_t readable = page * ((readableSize + kCRSAllocatorRecordSize) / page + 1);
    const std::size_t total = writable + readable + 3 * page;

    void* mapping =
        mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        CRSSDKLogError("Mapping failed %s\n", strerror(errno));
        return nullptr;
    }
    auto* base = static_cast<char*>(mapping);
    char* firstGuard = base;
    char* writableStart = firstGuard + page;
    char* middleGuard = writableStart + writable;
    char* readableStart = middleGuard + page;
    char* lastGuard = readableStart + readable;

    CRSSDKLogInfo("Mapped %p, writable %p, read-only %p, %llu KiB\n", mapping,
                  static_cast<void*>(writableStart), static_cast<void*>(readableStart),
                  static_cast<unsigned long long>(total / 1024));

    bool guarded = false;
    if (mprotect(firstGuard, page, PROT_NONE) != 0) {
        CRSSDKLogError("First guard protection failed %s\n", strerror(errno));
    } else if (mprotect(middleGuard, page, PROT_NONE) != 0) {
        CRSSDKLogError("Middle guard protection failed %s\n", strerror(errno));
    } else if (mprotect(lastGuard, page, PROT_NONE) != 0) {
        CRSSDKLogError("Last guard protection failed %s\n", strerror(errno));
    } else {
        guarded = true;
    }
    if (!guarded) {
        munmap(mapping, total);
        return nullptr;
    }

    auto* allocator = reinterpret_cast<CRSAllocator*>(readableStart);
    std::memset(allocator, 0, kCRSAllocatorRecordSize);
    allocator->buffer = mapping;
    allocator->protectionEnabled = false;
    allocator->writableRegion = {writable, reinterpret_cast<std::uintptr_t>(writableStart),
                                 reinterpret_cast<std::uintptr_t>(writableStart)};
    allocator->readableRegion = {
        readable, reinterpret_cast<std::uintptr_t>(readableStart),
        reinterpret_cast<std::uintptr_t>(readableStart) + kCRSAllocatorRecordSize};
    CRSSDKLogDebug("Allocator successfully created %p", static_cast<void*>(allocator));
    return allocator;
}

void* CRSAllocatorSafeAllocate(CRSAllocator* allocator, std::size_t size, int type) {
    if (allocator == nullptr || allocator->protectionEnabled) {
        if (allocator == nullptr) {
            CRSSDKLogWarn("Allocator invalid, falling back to calloc\n");
        } else {
            CRSSDKLogWarn("Allocator already protected, falling back to calloc\n");
        }
        void* memory = std::calloc(1, size);
        if (memory == nullptr) CRSSDKLogWarn("Unable to calloc in CRSAllocatorSafeAllocate\n");
        return memory;
    }
    switch (type) {
        case CRSAllocationTypeReadOnly:
            return allocateFromRegion(allocator->readableRegion, size);
        case CRSAllocationTypeWritable:
            return allocateFromRegion(allocator->writableRegion, size);
        default:
            return nullptr;
    }
}

bool CRSAllocatorProtect(CRSAllocator* allocator) {
    if (allocator == nullptr) {
        CRSSDKLogError("Invalid allocator");
        return false;
    }
    if (allocator->protectionEnabled) {
        CRSSDKLogWarn("Write protection already enabled");
        return true;
    }
    allocator->protectionEnabled = true;
    const CRSAllocatorRegion region = allocator->readableRegion;
    return mprotect(reinterpret_cast<void*>(region.start), region.size, PROT_READ) == 0;
}

std::size_t CRSAllocatorMappingSize(const CRSAllocator* allocator) {
    const auto start = reinterpret_cast<std::uintptr_t>(allocator->buffer);
    const CRSAllocatorRegion& last = allocator->readableRegion;
    const std::size_t page = allocator->writableRegion.start - start;
    return last.start + last.size + page - start;
}

}  // namespace pex
