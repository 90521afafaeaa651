// Call-frame records are read at crash time from images the process loaded; a damaged or
// hostile image must make the unwinder give up, never fault or loop. The bytes stand for a
// section holding records, a sorted table and expressions.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "crashreporter/unwind/CRSDwarfCFI.h"
#include "crashreporter/unwind/CRSDwarfExpression.h"
#include "crashreporter/unwind/CRSDwarfUnwind.h"
#include "crashreporter/unwind/CRSEhFrameHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    if (size == 0) return 0;
    std::vector<std::uint8_t> bytes(data, data + size);  // exact bounds for the sanitizers
    const auto start = reinterpret_cast<std::uintptr_t>(bytes.data());
    const CRSDwarfSection section{start, start + size, start};

    std::uint64_t stack[64] = {};
    CRSThreadContext registers{};
    registers.rsp = reinterpret_cast<std::uint64_t>(&stack[8]);
    registers.rbp = reinterpret_cast<std::uint64_t>(&stack[16]);

    // Every offset as an FDE, computed at a few PCs of its range.
    for (std::size_t offset = 0; offset < size && offset < 256; offset += 4) {
        CRSDwarfCFIRecord record;
        if (!CRSDwarfParseCFIFromFDERecord(&record, start + offset, section)) continue;
        for (std::uint64_t pc : {record.fde.startAddress, record.fde.startAddress + 1,
                                 record.fde.startAddress + record.fde.rangeSize / 2}) {
            CRSThreadContext copy = registers;
            copy.rip = pc;
            CRSDwarfUnwindComputeRegisters(record, section, pc, &copy);
        }
    }
    // The bytes as a sorted table in front of its records.
    CRSDwarfCFIRecord record;
    CRSDwarfSection found;
    std::uint64_t pc = 0;
    if (size >= 8) std::memcpy(&pc, data + size - 8, sizeof pc);
    CRSEhFrameHeaderFindFDE(start, start, start + size, pc, &record, &found);
    // The bytes as an expression.
    std::uint64_t result = 0;
    CRSDwarfEvaluateExpression(start, section, &registers, registers.rsp, &result);
    return 0;
}
