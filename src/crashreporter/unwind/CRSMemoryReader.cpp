#include "crashreporter/unwind/CRSMemoryReader.h"

#include <cstring>

#include "crashreporter/runtime/CRSUtilities.h"

namespace pex {

namespace {

// The smallest unit of memory protection on every system this runs on.
constexpr std::uintptr_t kProtectionGranule = 4096;

bool known(const CRSMemoryReader* reader, std::uintptr_t page) {
    for (std::uintptr_t cached : reader->pages) {
        if (cached == page) return true;
    }
    return false;
}

void remember(CRSMemoryReader* reader, std::uintptr_t page) {
    if (known(reader, page)) return;
    reader->pages[reader->next] = page;
    reader->next = (reader->next + 1) % kCRSMemoryReaderPages;
}

// True when [start, start + length) lies in the vouched-for range and that range is proven;
// the first such read pays for the proof.
bool trusted(CRSMemoryReader* reader, std::uintptr_t start, std::size_t length) {
    if (reader->trust == CRSMemoryReaderTrust::none ||
        reader->trust == CRSMemoryReaderTrust::refused || start < reader->trustedLow ||
        start >= reader->trustedHigh || length > reader->trustedHigh - start) {
        return false;
    }
    if (reader->trust == CRSMemoryReaderTrust::unproven) {
        std::uint8_t probe = 0;
        const bool readable =
            CRSReadMemory(reinterpret_cast<const void*>(reader->trustedLow), &probe, 1);
        reader->trust = readable ? CRSMemoryReaderTrust::proven : CRSMemoryReaderTrust::refused;
    }
    return reader->trust == CRSMemoryReaderTrust::proven;
}

// Copies from memory already known to be readable. A stack scan reads other frames' padding
// and other threads' stacks on purpose, so the copy is not checked by the address sanitizer,
// and byte by byte through a volatile source so it is never turned into a (checked) memcpy call.
__attribute__((no_sanitize("address"))) void copyFromReadableMemory(void* destination,
                                                                    const void* source,
                                                                    std::size_t length) {
    auto* to = static_cast<unsigned char*>(destination);
    const auto* from = static_cast<const volatile unsigned char*>(source);
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
}

}  // namespace

void CRSMemoryReaderInit(CRSMemoryReader* reader) {
    std::memset(reader, 0, sizeof *reader);
}

void CRSMemoryReaderTrustRange(CRSMemoryReader* reader, std::uintptr_t low, std::uintptr_t high) {
    if (reader == nullptr) return;
    reader->trust = CRSMemoryReaderTrust::none;
    if (low < kProtectionGranule || low >= high) return;
    reader->trustedLow = low;
    reader->trustedHigh = high;
    reader->trust = CRSMemoryReaderTrust::unproven;
}

bool CRSMemoryReaderRead(CRSMemoryReader* reader, const void* source, void* destination,
                         std::size_t length) {
    const auto start = reinterpret_cast<std::uintptr_t>(source);
    if (reader == nullptr || length == 0 || start < kProtectionGranule ||
        length > UINTPTR_MAX - start) {
        return CRSReadMemory(source, destination, length);
    }
    if (trusted(reader, start, length)) {
        copyFromReadableMemory(destination, source, length);
        return true;
    }
    const std::uintptr_t first = start / kProtectionGranule;
    const std::uintptr_t last = (start + length - 1) / kProtectionGranule;
    if (last - first <= 1 && known(reader, first) && known(reader, last)) {
        copyFromReadableMemory(destination, source, length);
        return true;
    }
    if (!CRSReadMemory(source, destination, length)) return false;
    if (last - first <= 1) {
        remember(reader, first);
        remember(reader, last);
    }
    return true;
}

}  // namespace pex
