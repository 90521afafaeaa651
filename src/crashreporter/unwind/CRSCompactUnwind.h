#pragma once
// Compact unwind tables ("__unwind_info", version 1, x86-64 encodings): a two-level index from
// function offsets to 32-bit encodings that say how to find a function's caller without
// call-frame instructions. The lookup reads only inside the section, and every read (section,
// code and stack) goes through the safe reader, so damaged tables give failures, not faults.
#include <cstddef>
#include <cstdint>

#include "crashreporter/unwind/CRSMemoryReader.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

inline constexpr std::size_t kCRSCompactUnwindHeaderSize = 28;

struct CRSCompactUnwindContext {
    std::uintptr_t
        unwindInfo;  // the section; every table read stays in [unwindInfo, unwindInfoEnd)
    std::uintptr_t unwindInfoEnd;
    std::uintptr_t ehFrame;  // the image's call-frame section, or 0
    std::uintptr_t ehFrameEnd;
    std::uintptr_t loadAddress;
    // version, common encodings offset and count, personalities offset and count, first-level
    // index offset and count
    std::uint32_t header[7];
    // The chosen first-level entry: function offset, second-level page offset, LSDA offset.
    std::uint32_t firstLevelEntry[3];
    std::uint32_t firstLevelNextFunctionOffset;  // where the entry's range ends
};

struct CRSCompactUnwindResult {
    std::uint32_t encoding;
    std::uint64_t functionStart;
    std::uint64_t functionEnd;
    std::uint64_t lsda;         // not looked up: stays 0
    std::uint64_t personality;  // not looked up: stays 0
};

// The encoding's fields.
inline constexpr std::uint32_t kCRSCompactUnwindModeFramePointer = 1;
inline constexpr std::uint32_t kCRSCompactUnwindModeFramelessImmediate = 2;
inline constexpr std::uint32_t kCRSCompactUnwindModeFramelessIndirect = 3;
inline constexpr std::uint32_t kCRSCompactUnwindModeDwarf = 4;
inline constexpr std::uint32_t CRSCompactUnwindMode(std::uint32_t encoding) {
    return (encoding >> 24) & 0xF;
}

// Register numbers of a frameless function's saved-register permutation.
enum CRSCompactUnwindRegister : int {
    CRSCompactUnwindRegisterNone = 0,
    CRSCompactUnwindRegisterRBX = 1,
    CRSCompactUnwindRegisterR12 = 2,
    CRSCompactUnwindRegisterR13 = 3,
    CRSCompactUnwindRegisterR14 = 4,
    CRSCompactUnwindRegisterR15 = 5,
    CRSCompactUnwindRegisterRBP = 6,
};
inline constexpr int kCRSCompactUnwindMaxSavedRegisters = 6;

// Checks the section header (version 1) of the `unwindInfoSize` bytes at `unwindInfo`; the
// image's call-frame section [ehFrame, ehFrame + ehFrameSize) serves the DWARF mode.
bool CRSCompactUnwindInit(CRSCompactUnwindContext* context, std::uintptr_t unwindInfo,
                          std::size_t unwindInfoSize, std::uintptr_t ehFrame,
                          std::size_t ehFrameSize, std::uintptr_t loadAddress);
// The encoding of the function holding `pc` and its range.
bool CRSCompactUnwindLookup(CRSCompactUnwindContext* context, std::uintptr_t pc,
                            CRSCompactUnwindResult* result);
// Looks `lookupPC` up (the PC itself for an interrupted frame, the return address minus one
// otherwise) and replaces `registers` with the caller's.
bool CRSCompactUnwindLookupAndCompute(CRSCompactUnwindContext* context, std::uintptr_t lookupPC,
                                      CRSThreadContext* registers,
                                      CRSMemoryReader* reader = nullptr);
bool CRSCompactUnwindComputeRegisters(CRSCompactUnwindContext* context,
                                      const CRSCompactUnwindResult& result, std::uintptr_t lookupPC,
                                      CRSThreadContext* registers,
                                      CRSMemoryReader* reader = nullptr);

// The saved-register permutation of a frameless encoding, as register numbers in the order
// they lie on the stack (lowest address first); false for a count above 6 or a permutation
// that names no arrangement of that many registers.
bool CRSCompactUnwindDecodePermutation(std::uint32_t count, std::uint32_t permutation,
                                       int registers[kCRSCompactUnwindMaxSavedRegisters]);

// The frame-pointer step: the caller's frame pointer and return address lie at the frame
// pointer.
bool CRSCompactUnwindBPFrame(CRSThreadContext* registers, CRSMemoryReader* reader = nullptr);

}  // namespace pex
