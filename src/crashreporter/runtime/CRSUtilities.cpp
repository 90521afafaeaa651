#include "crashreporter/runtime/CRSUtilities.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "crashreporter/runtime/CRSContext.h"
#include "platform/mach/TaskMemory.h"

namespace pex {

namespace {

constexpr std::uintptr_t kLowestValidAddress = 4096;
// The smallest unit of memory protection on every system this runs on; reads split at its
// boundaries never straddle a readable and an unreadable page.
constexpr std::size_t kProtectionGranule = 4096;

}  // namespace

const char* CRSDupString(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    CRSAllocator* allocator = reinterpret_cast<std::uintptr_t>(crsContext) >= kLowestValidAddress
                                  ? crsContext->allocator
                                  : nullptr;
    auto* copy =
        static_cast<char*>(CRSAllocatorSafeAllocate(allocator, size, CRSAllocationTypeReadOnly));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, size);
    return copy;
}

bool CRSReadMemory(const void* source, void* destination, std::size_t length) {
    const auto start = reinterpret_cast<std::uintptr_t>(source);
    if (start < kLowestValidAddress) return false;
    if (length > UINTPTR_MAX - start) return false;
    return TaskMemory::read(source, destination, length);
}

bool CRSReadString(const char* address, const char** out, std::size_t maxLength) {
    const auto start = reinterpret_cast<std::uintptr_t>(address);
    if (start < kLowestValidAddress || maxLength > UINTPTR_MAX - start) return false;
    if (out != nullptr) *out = address;
    // Reads in pieces that never cross a page boundary, so a string that ends just before an
    // unreadable page is still found.
    const std::size_t page = kProtectionGranule;
    char piece[256];
    std::size_t checked = 0;
    while (checked < maxLength) {
        const std::uintptr_t at = start + checked;
        std::size_t length = page - at % page;
        if (length > sizeof piece) length = sizeof piece;
        if (length > maxLength - checked) length = maxLength - checked;
        if (!TaskMemory::read(reinterpret_cast<const void*>(at), piece, length)) return false;
        if (std::memchr(piece, '\0', length) != nullptr) return true;
        checked += length;
    }
    return false;
}

bool CRSUnlinkIfExists(const char* path) {
    if (path == nullptr) return false;
    return unlink(path) == 0 || errno == ENOENT;
}

void CRSDladdr(const void* address,
               const std::function<void(const char* symbol, const char* image)>& callback) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) {
        callback(nullptr, nullptr);
        return;
    }
    callback(info.dli_sname != nullptr ? info.dli_sname : "unknown",
             info.dli_fname != nullptr ? info.dli_fname : "unknown");
}

namespace {

Clock::Duration durationOf(double seconds) {
    return std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

void CRSDispatchAfter(double seconds, const DispatchQueue& queue, DispatchQueue::Work work) {
    queue.asyncAfter(durationOf(seconds), std::move(work));
}

void CRSAddOperationAfter(double seconds, const OperationQueue& queue, OperationQueue::Work work) {
    DispatchQueue::global().asyncAfter(
        durationOf(seconds),
        [queue, work = std::move(work)]() mutable { queue.addOperation(std::move(work)); });
}

}  // namespace pex
