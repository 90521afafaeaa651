#pragma once
// Safe reads for one stack walk, made cheap: the first read of a page goes through the kernel
// (`CRSReadMemory`); once that succeeded, the page is known to be mapped and readable, and
// later reads inside it are plain copies. Protection is per page, so one readable byte proves
// the page. The cache lives only as long as one walk, while the other threads are stopped.
#include <cstddef>
#include <cstdint>

namespace pex {

inline constexpr int kCRSMemoryReaderPages = 8;

struct CRSMemoryReader {
    std::uintptr_t pages[kCRSMemoryReaderPages];  // page numbers known readable; 0 for none
    int next;
};

void CRSMemoryReaderInit(CRSMemoryReader* reader);
// Like `CRSReadMemory`; a null reader reads through the kernel every time.
bool CRSMemoryReaderRead(CRSMemoryReader* reader, const void* source, void* destination,
                         std::size_t length);

}  // namespace pex
