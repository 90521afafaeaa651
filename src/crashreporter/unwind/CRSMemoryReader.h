#pragma once
// Safe reads for one stack walk, made cheap: the first read of a page goes through the kernel
// (`CRSReadMemory`); once that succeeded, the page is known to be mapped and readable, and
// later reads inside it are plain copies. Protection is per page, so one readable byte proves
// the page. The cache lives only as long as one walk, while the other threads are stopped.
//
// A walk may also vouch for a whole range (the thread's stack above its stack pointer, which
// the crash handler knows): the first read inside it proves its lowest page through the
// kernel, and from then on every read inside the range is a plain copy.
#include <cstddef>
#include <cstdint>

namespace pex {

inline constexpr int kCRSMemoryReaderPages = 8;

enum class CRSMemoryReaderTrust : std::uint8_t { none, unproven, proven, refused };

struct CRSMemoryReader {
    std::uintptr_t pages[kCRSMemoryReaderPages];  // page numbers known readable; 0 for none
    int next;
    std::uintptr_t trustedLow;  // [trustedLow, trustedHigh): one readable mapping
    std::uintptr_t trustedHigh;
    CRSMemoryReaderTrust trust;
};

void CRSMemoryReaderInit(CRSMemoryReader* reader);
// Declares [low, high) one mapping that is readable all through when its lowest page is: a
// thread's stack from the page of its stack pointer to its top. Replaces an earlier range.
void CRSMemoryReaderTrustRange(CRSMemoryReader* reader, std::uintptr_t low, std::uintptr_t high);
// Like `CRSReadMemory`; a null reader reads through the kernel every time.
bool CRSMemoryReaderRead(CRSMemoryReader* reader, const void* source, void* destination,
                         std::size_t length);

}  // namespace pex
