#pragma once
// Runs a CIE's and an FDE's call-frame instructions up to a code offset and computes the
// caller's registers from the resulting row. All state lives on the C stack.
#include <cstdint>

#include "crashreporter/unwind/CRSDwarfCFI.h"
#include "crashreporter/unwind/CRSMemoryReader.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

inline constexpr int kCRSDwarfRegisterCount = 17;  // x86-64 DWARF 0-16, 16 = return address
inline constexpr int kCRSDwarfReturnAddressRegister = 16;
inline constexpr int kCRSDwarfStackPointerRegister = 7;
// Nesting of DW_CFA_remember_state that a row may use.
inline constexpr int kCRSDwarfRememberStackSize = 8;

enum CRSDwarfRuleKind : std::int32_t {
    CRSDwarfRuleUnchanged = 0,
    CRSDwarfRuleAtCFAOffset = 1,
    CRSDwarfRuleValueCFAOffset = 2,
    CRSDwarfRuleRegister = 3,
    CRSDwarfRuleAtExpression = 4,
    CRSDwarfRuleValueExpression = 5,
    CRSDwarfRuleUndefined = 6,
};

struct CRSDwarfRegisterRule {
    std::int32_t kind;
    std::uint64_t value;  // offset, register number or expression address, by kind
};

struct CRSDwarfState {
    std::uint64_t cfaRegister;
    std::int64_t cfaRegisterOffset;
    std::uintptr_t cfaExpression;  // 0 unless the CFA is computed by an expression
    // Bit n set: `registers[n]` holds the register's rule. A clear bit means "unchanged" and
    // leaves the entry unread, so a row is copied and applied one set rule at a time (most
    // rows have two to four).
    std::uint32_t ruleMask;
    CRSDwarfRegisterRule registers[kCRSDwarfRegisterCount];
};

// The rule for register `reg` (< kCRSDwarfRegisterCount), "unchanged" when none is set.
inline CRSDwarfRegisterRule CRSDwarfStateRule(const CRSDwarfState& state, int reg) {
    return (state.ruleMask >> reg) & 1u ? state.registers[reg]
                                        : CRSDwarfRegisterRule{CRSDwarfRuleUnchanged, 0};
}

// The rules a CIE's own instructions set up, kept for the next frame with the same CIE.
struct CRSDwarfCIECache {
    std::uintptr_t cieAddress;  // 0: empty
    CRSDwarfState initial;
};

enum class CRSDwarfStepResult {
    failed,
    stepped,
    endOfStack,  // the return address is undefined: the outermost frame (_start, clone)
};

// Runs the instructions in [start, end). Every row whose start is at or below `pcOffset` is
// applied: an advance that would move past it ends the run. `initial` holds the CIE's rules
// for DW_CFA_restore (null while running the CIE itself).
bool CRSDwarfInstructionsEnumerate(std::uintptr_t start, std::uintptr_t end,
                                   const CRSDwarfCIERecord& cie, const CRSDwarfSection& section,
                                   CRSDwarfState* state, const CRSDwarfState* initial,
                                   std::int64_t pcOffset);

// The caller's registers for the frame `registers` describes, looked up at `lookupPC` (the PC
// itself for an interrupted frame, the return address minus one otherwise). On success the
// registers are replaced; on failure they are untouched. Saved registers are read through
// `reader` (null: through the kernel every time).
CRSDwarfStepResult CRSDwarfUnwindComputeRegisters(const CRSDwarfCFIRecord& record,
                                                  const CRSDwarfSection& section,
                                                  std::uintptr_t lookupPC,
                                                  CRSThreadContext* registers,
                                                  CRSMemoryReader* reader = nullptr,
                                                  CRSDwarfCIECache* cache = nullptr);

}  // namespace pex
