// Compact unwind tables are read at crash time from images the process loaded; a damaged or
// hostile table must make the lookup give up, never read outside the section, fault or loop.
// The bytes stand for the section (and for the call-frame section its DWARF mode points into).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "crashreporter/unwind/CRSCompactUnwind.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    std::vector<std::uint8_t> bytes(data, data + size);  // exact bounds for the sanitizers
    if (bytes.empty()) return 0;
    const auto start = reinterpret_cast<std::uintptr_t>(bytes.data());
    constexpr std::uintptr_t kLoad = 0x100000000;

    CRSCompactUnwindContext context;
    if (!CRSCompactUnwindInit(&context, start, size, start, size, kLoad)) return 0;

    // Look up the start of each first-level range, a byte into it, and one PC named by the
    // input's last word; step out of each function found on a synthetic stack.
    std::vector<std::uint64_t> offsets;
    const std::uint32_t indexOffset = context.header[5];
    for (std::uint32_t i = 0; i < context.header[6] && i < 16; ++i) {
        const std::uint64_t at = std::uint64_t{indexOffset} + 12 * std::uint64_t{i};
        if (at > size || size - at < 4) break;
        std::uint32_t functionOffset = 0;
        std::memcpy(&functionOffset, bytes.data() + at, 4);
        offsets.push_back(functionOffset);
        offsets.push_back(std::uint64_t{functionOffset} + 1);
    }
    if (size >= 4) {
        std::uint32_t last = 0;
        std::memcpy(&last, bytes.data() + size - 4, 4);
        offsets.push_back(last);
    }
    std::uint64_t stack[64] = {};
    for (std::uint64_t offset : offsets) {
        CRSCompactUnwindResult result;
        if (!CRSCompactUnwindLookup(&context, kLoad + offset, &result)) continue;
        CRSThreadContext registers{};
        registers.rsp = reinterpret_cast<std::uint64_t>(&stack[8]);
        registers.rbp = reinterpret_cast<std::uint64_t>(&stack[16]);
        registers.rip = kLoad + offset;
        CRSCompactUnwindComputeRegisters(&context, result, registers.rip, &registers);
    }
    // The low bits as a saved-register permutation.
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data(), size < 4 ? size : 4);
    int saved[kCRSCompactUnwindMaxSavedRegisters];
    CRSCompactUnwindDecodePermutation((word >> 10) & 7, word & 0x3FF, saved);
    return 0;
}
