#include "crashreporter/unwind/CRSCompactUnwind.h"

#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "crashreporter/unwind/CRSDwarfCFI.h"
#include "crashreporter/unwind/CRSDwarfUnwind.h"

namespace pex {

namespace {

constexpr std::uint32_t kFirstLevelEntrySize = 12;
constexpr std::uint32_t kRegularPageKind = 2;
constexpr std::uint32_t kCompressedPageKind = 3;
constexpr std::uint32_t kCompressedPageHeaderSize = 12;

bool present(const void* pointer) {
    return CRSIsValidPointer(reinterpret_cast<std::uintptr_t>(pointer));
}

// Reads `size` bytes at `offset` from the section's start, only when they lie inside it.
bool readSection(const CRSCompactUnwindContext* context, std::uint64_t offset, void* out,
                 std::size_t size) {
    const std::uint64_t sectionSize = context->unwindInfoEnd - context->unwindInfo;
    if (offset > sectionSize || size > sectionSize - offset) return false;
    return CRSReadMemory(reinterpret_cast<const void*>(context->unwindInfo + offset), out, size);
}

bool readSection32(const CRSCompactUnwindContext* context, std::uint64_t offset,
                   std::uint32_t* out) {
    return readSection(context, offset, out, sizeof *out);
}

bool readWord(CRSMemoryReader* reader, std::uintptr_t address, std::uint64_t* out) {
    return CRSMemoryReaderRead(reader, reinterpret_cast<const void*>(address), out, sizeof *out);
}

// First level: the entry whose range [its function offset, the next entry's) holds `offset`.
// The last entry only closes the range of the one before it.
bool findFirstLevel(CRSCompactUnwindContext* context, std::uint64_t offset) {
    const std::uint32_t indexOffset = context->header[5];
    const std::uint32_t count = context->header[6];
    if (count < 2) return false;
    std::uint32_t entry[3];
    if (!readSection(context, indexOffset, entry, sizeof entry)) return false;
    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        std::uint32_t next[3];
        if (!readSection(context, indexOffset + std::uint64_t{i + 1} * kFirstLevelEntrySize, next,
                         sizeof next)) {
            return false;
        }
        if (entry[0] <= offset && offset < next[0]) {
            std::memcpy(context->firstLevelEntry, entry, sizeof entry);
            context->firstLevelNextFunctionOffset = next[0];
            return true;
        }
        std::memcpy(entry, next, sizeof entry);
    }
    return false;
}

struct CompressedPage {
    std::uint64_t start;  // section offset of the page
    std::uint16_t entryPageOffset;
    std::uint16_t entryCount;
    std::uint16_t encodingsPageOffset;
    std::uint16_t encodingsCount;

    std::uint64_t entryAt(std::uint32_t index) const {
        return start + entryPageOffset + std::uint64_t{index} * 4;
    }
};

bool lookupCompressed(const CRSCompactUnwindContext* context, const CompressedPage& page,
                      std::uintptr_t pc, CRSCompactUnwindResult* result) {
    const std::uint64_t base = context->loadAddress + context->firstLevelEntry[0];
    // The first level put the PC at or after the page's first function, so the offset is
    // never negative; 0 is the first byte of that function.
    if (pc < base) {
        CRSSDKLogWarn("Error: PC is invalid\n");
        return false;
    }
    const std::uint64_t target = pc - base;
    if (page.entryCount == 0) return false;
    // The last entry whose function offset is at or below the target.
    std::uint32_t low = 0;
    std::uint32_t high = page.entryCount;
    while (high - low > 1) {
        const std::uint32_t middle = low + (high - low) / 2;
        std::uint32_t entry = 0;
        if (!readSection32(context, page.entryAt(middle), &entry)) return false;
        if ((entry & 0xFFFFFF) <= target) {
            low = middle;
        } else {
            high = middle;
        }
    }
    std::uint32_t entry = 0;
    if (!readSection32(context, page.entryAt(low), &entry) || (entry & 0xFFFFFF) > target) {
        CRSSDKLogInfo("Unable to find PC in second level\n");
        return false;
    }
    result->functionStart = base + (entry & 0xFFFFFF);
    if (low + 1 < page.entryCount) {
        std::uint32_t next = 0;
        if (!readSection32(context, page.entryAt(low + 1), &next)) return false;
        result->functionEnd = base + (next & 0xFFFFFF);
    } else {
        result->functionEnd = context->loadAddress + context->firstLevelNextFunctionOffset;
    }
    if (pc < result->functionStart || pc >= result->functionEnd) {
        CRSSDKLogWarn("PC does not match computed function range\n");
        return false;
    }
    const std::uint32_t index = entry >> 24;
    const std::uint32_t commonCount = context->header[2];
    std::uint64_t encodingAt = 0;
    if (index < commonCount) {
        encodingAt = context->header[1] + std::uint64_t{index} * 4;
    } else if (index - commonCount < page.encodingsCount) {
        encodingAt = page.start + page.encodingsPageOffset + std::uint64_t{index - commonCount} * 4;
    } else {
        CRSSDKLogWarn("Error: encoding index %u beyond the page's encodings\n", index);
        return false;
    }
    if (!readSection32(context, encodingAt, &result->encoding)) return false;
    if (result->encoding == 0) {
        CRSSDKLogInfo("Entry has has no unwind info\n");
        return false;
    }
    return true;
}

bool lookupSecondLevel(const CRSCompactUnwindContext* context, std::uintptr_t pc,
                       CRSCompactUnwindResult* result) {
    const std::uint64_t start = context->firstLevelEntry[1];
    std::uint32_t kind = 0;
    if (!readSection32(context, start, &kind)) return false;
    if (kind == kRegularPageKind) {
        CRSSDKLogInfo("Found a second level regular header\n");
        CRSSDKLogWarn("Encountered a regular second-level page\n");
        return false;
    }
    if (kind != kCompressedPageKind) {
        CRSSDKLogError("Unrecognized header kind - unable to continue\n");
        return false;
    }
    CRSSDKLogInfo("Found a second level compressed header\n");
    std::uint8_t raw[kCompressedPageHeaderSize];
    if (!readSection(context, start, raw, sizeof raw)) return false;
    CompressedPage page{start, 0, 0, 0, 0};
    std::memcpy(&page.entryPageOffset, raw + 4, 2);
    std::memcpy(&page.entryCount, raw + 6, 2);
    std::memcpy(&page.encodingsPageOffset, raw + 8, 2);
    std::memcpy(&page.encodingsCount, raw + 10, 2);
    return lookupCompressed(context, page, pc, result);
}

bool computeStackSize(std::uint32_t encoding, std::uint64_t functionStart, bool indirect,
                      std::uint64_t* stackSize) {
    const std::uint32_t size = (encoding >> 16) & 0xFF;
    if (!indirect) {
        *stackSize = std::uint64_t{size} * 8;
        return true;
    }
    // The function's stack-subtract instruction holds the size as its 32-bit immediate.
    std::uint32_t immediate = 0;
    if (!CRSReadMemory(reinterpret_cast<const void*>(functionStart + size), &immediate,
                       sizeof immediate)) {
        CRSSDKLogWarn("Error: unable to read subl value\n");
        return false;
    }
    const std::uint32_t adjust = (encoding >> 13) & 0x7;
    *stackSize = std::uint64_t{immediate} + std::uint64_t{adjust} * 8;
    return true;
}

bool frameless(std::uint32_t encoding, CRSThreadContext* registers, std::uint64_t functionStart,
               bool indirect, CRSMemoryReader* reader) {
    CRSSDKLogDebug("Frameless unwind encountered with encoding %x\n", encoding);
    std::uint64_t stackSize = 0;
    if (!computeStackSize(encoding, functionStart, indirect, &stackSize)) {
        CRSSDKLogWarn("Error: unable to compute stack size for encoding %x\n", encoding);
        return false;
    }
    const std::uint32_t count = (encoding >> 10) & 0x7;
    int saved[kCRSCompactUnwindMaxSavedRegisters] = {};
    if (!CRSCompactUnwindDecodePermutation(count, encoding & 0x3FF, saved)) {
        CRSSDKLogWarn("Error: unable to decompress registers %x\n", encoding);
        return false;
    }
    // The frame holds the saved registers and the return address: a smaller size, or one that
    // runs past the end of memory, describes no frame.
    const std::uint64_t sp = registers->rsp;
    if (stackSize < 8 * (std::uint64_t{count} + 1) || stackSize > UINT64_MAX - sp) {
        CRSSDKLogWarn("Error: unable to restore registers\n");
        return false;
    }
    const std::uint64_t returnAddressAt = sp + stackSize - 8;
    std::uint64_t framePointer = registers->rbp;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = returnAddressAt - 8 * (count - i);
        if (saved[i] != CRSCompactUnwindRegisterRBP) {
            CRSSDKLogWarn("Error: skipping a restore of register %d at %p\n", saved[i],
                          reinterpret_cast<void*>(at));
            continue;
        }
        if (!readWord(reader, at, &framePointer)) {
            CRSSDKLogWarn("Error: unable to read memory to set register\n");
            CRSSDKLogWarn("Error: unable to restore registers\n");
            return false;
        }
    }
    CRSSDKLogDebug("SP is %p and we are reading %p\n", reinterpret_cast<void*>(sp),
                   reinterpret_cast<void*>(returnAddressAt));
    std::uint64_t pc = 0;
    if (!readWord(reader, returnAddressAt, &pc)) {
        CRSSDKLogWarn("Error: unable to read memory to set register\n");
        return false;
    }
    CRSSDKLogDebug("Read PC to be %p\n", reinterpret_cast<void*>(pc));
    if (!CRSIsValidPointer(pc)) {
        CRSSDKLogWarn("Error: computed PC is invalid\n");
        return false;
    }
    registers->rbp = framePointer;
    registers->rip = pc;
    registers->rsp = returnAddressAt + 8;
    return true;
}

bool dwarfFrame(const CRSCompactUnwindContext* context, std::uint32_t offset,
                std::uintptr_t lookupPC, CRSThreadContext* registers, CRSMemoryReader* reader) {
    CRSSDKLogInfo("Trying to read dwarf data with offset %lx\n",
                  static_cast<unsigned long>(offset));
    const CRSDwarfSection section{context->ehFrame, context->ehFrameEnd, 0};
    CRSDwarfCFIRecord record;
    if (context->ehFrame == 0 ||
        !CRSDwarfParseCFIFromFDERecord(&record, context->ehFrame + offset, section)) {
        CRSSDKLogError("Unable to init FDE\n");
        return false;
    }
    if (CRSDwarfUnwindComputeRegisters(record, section, lookupPC, registers, reader) !=
        CRSDwarfStepResult::stepped) {
        CRSSDKLogError("Failed to compute DWARF registers\n");
        return false;
    }
    return true;
}

}  // namespace

bool CRSCompactUnwindInit(CRSCompactUnwindContext* context, std::uintptr_t unwindInfo,
                          std::size_t unwindInfoSize, std::uintptr_t ehFrame,
                          std::size_t ehFrameSize, std::uintptr_t loadAddress) {
    if (!present(context)) {
        CRSSDKLogWarn("Error: invalid context passed to compact unwind init\n");
        return false;
    }
    if (!CRSIsValidPointer(unwindInfo) || unwindInfoSize > UINTPTR_MAX - unwindInfo) {
        CRSSDKLogWarn("Error: invalid unwind info passed to compact unwind init\n");
        return false;
    }
    if (!CRSIsValidPointer(loadAddress)) {
        CRSSDKLogWarn("Error: invalid load address passed to compact unwind init\n");
        return false;
    }
    std::memset(context, 0, sizeof *context);
    context->unwindInfo = unwindInfo;
    context->unwindInfoEnd = unwindInfo + unwindInfoSize;
    if (CRSIsValidPointer(ehFrame) && ehFrameSize <= UINTPTR_MAX - ehFrame) {
        context->ehFrame = ehFrame;
        context->ehFrameEnd = ehFrame + ehFrameSize;
    }
    context->loadAddress = loadAddress;
    if (!readSection(context, 0, context->header, sizeof context->header)) {
        CRSSDKLogWarn("Error: could not read memory contents of unwindInfo\n");
        return false;
    }
    if (context->header[0] != 1) {
        CRSSDKLogWarn("Error: bad unwind_info structure version (%d != %d)\n",
                      static_cast<int>(context->header[0]), 1);
        return false;
    }
    return true;
}

bool CRSCompactUnwindLookup(CRSCompactUnwindContext* context, std::uintptr_t pc,
                            CRSCompactUnwindResult* result) {
    if (!present(context) || !present(result) || pc < context->loadAddress) return false;
    std::memset(result, 0, sizeof *result);
    if (!findFirstLevel(context, pc - context->loadAddress)) {
        CRSSDKLogWarn("Unable to find pc in first level\n");
        return false;
    }
    CRSSDKLogDebug("Found first level (second => %u)\n", context->firstLevelEntry[1]);
    if (!lookupSecondLevel(context, pc, result)) {
        CRSSDKLogInfo("Second-level PC lookup failed\n");
        return false;
    }
    return true;
}

bool CRSCompactUnwindLookupAndCompute(CRSCompactUnwindContext* context, std::uintptr_t lookupPC,
                                      CRSThreadContext* registers, CRSMemoryReader* reader) {
    if (!present(context) || !present(registers) || lookupPC < context->loadAddress) return false;
    CRSCompactUnwindResult result;
    if (!CRSCompactUnwindLookup(context, lookupPC, &result)) {
        CRSSDKLogInfo("Unable to lookup compact unwind for pc %p\n",
                      reinterpret_cast<void*>(lookupPC));
        return false;
    }
    if (!CRSCompactUnwindComputeRegisters(context, result, lookupPC, registers, reader)) {
        CRSSDKLogError("Failed to compute registers\n");
        return false;
    }
    return true;
}

bool CRSCompactUnwindComputeRegisters(CRSCompactUnwindContext* context,
                                      const CRSCompactUnwindResult& result, std::uintptr_t lookupPC,
                                      CRSThreadContext* registers, CRSMemoryReader* reader) {
    if (!present(context) || !present(registers)) {
        CRSSDKLogWarn("invalid inputs\n");
        return false;
    }
    CRSSDKLogDebug("Computing registers for encoding %x\n", result.encoding);
    switch (CRSCompactUnwindMode(result.encoding)) {
        case kCRSCompactUnwindModeFramePointer:
            return CRSCompactUnwindBPFrame(registers, reader);
        case kCRSCompactUnwindModeFramelessImmediate:
            return frameless(result.encoding, registers, result.functionStart, false, reader);
        case kCRSCompactUnwindModeFramelessIndirect:
            return frameless(result.encoding, registers, result.functionStart, true, reader);
        case kCRSCompactUnwindModeDwarf:
            return dwarfFrame(context, result.encoding & 0xFFFFFF, lookupPC, registers, reader);
        default:
            CRSSDKLogError("Invalid encoding %x\n", result.encoding);
            return false;
    }
}

bool CRSCompactUnwindDecodePermutation(std::uint32_t count, std::uint32_t permutation,
                                       int registers[kCRSCompactUnwindMaxSavedRegisters]) {
    // Each saved register is stored as its rank among the numbers 1-6 not yet used, in a
    // mixed-radix number whose place values shrink as fewer numbers remain.
    static constexpr std::uint32_t kPlaceValues[7][6] = {
        {}, {1}, {5, 1}, {20, 4, 1}, {60, 12, 3, 1}, {120, 24, 6, 2, 1}, {120, 24, 6, 2, 1, 0},
    };
    if (count > kCRSCompactUnwindMaxSavedRegisters) {
        CRSSDKLogWarn("Error: unhandled number of register permutations for encoding %x\n",
                      permutation);
        return false;
    }
    std::uint32_t ranks[kCRSCompactUnwindMaxSavedRegisters] = {};
    std::uint32_t rest = permutation;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t place = kPlaceValues[count][i];
        if (place == 0) break;  // the sixth of six registers is whichever is left
        ranks[i] = rest / place;
        rest -= ranks[i] * place;
    }
    bool used[kCRSCompactUnwindMaxSavedRegisters + 1] = {};
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t rank = 0;
        registers[i] = CRSCompactUnwindRegisterNone;
        for (int number = 1; number <= kCRSCompactUnwindMaxSavedRegisters; ++number) {
            if (used[number]) continue;
            if (rank++ == ranks[i]) {
                registers[i] = number;
                used[number] = true;
                break;
            }
        }
        // A rank beyond the numbers left is no arrangement: a damaged encoding.
        if (registers[i] == CRSCompactUnwindRegisterNone) return false;
    }
    return true;
}

bool CRSCompactUnwindBPFrame(CRSThreadContext* registers, CRSMemoryReader* reader) {
    const std::uint64_t fp = registers->rbp;
    std::uint64_t frame[2];
    if (!CRSIsValidPointer(fp) || fp > UINT64_MAX - 16 ||
        !CRSMemoryReaderRead(reader, reinterpret_cast<const void*>(fp), frame, sizeof frame)) {
        CRSSDKLogWarn("Error: failed to read memory at address %p\n", reinterpret_cast<void*>(fp));
        return false;
    }
    // The caller's frame lies above this one: anything else is a cycle or a damaged chain.
    if (fp + 16 <= registers->rsp) {
        CRSSDKLogWarn("Error: frame pointer %p does not lead up the stack\n",
                      reinterpret_cast<void*>(fp));
        return false;
    }
    registers->rip = frame[1];
    registers->rbp = frame[0];
    registers->rsp = fp + 16;
    return true;
}

}  // namespace pex
