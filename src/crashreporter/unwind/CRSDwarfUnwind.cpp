#include "crashreporter/unwind/CRSDwarfUnwind.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "crashreporter/unwind/CRSDwarfExpression.h"

namespace pex {

namespace {

bool validRegister(std::uint64_t number) {
    return number < kCRSDwarfRegisterCount;
}

// Where each DWARF register number lives in the thread context (16, the return address, is
// the PC). Rules only ever name valid numbers, so the hot path indexes this directly.
constexpr std::size_t kRegisterOffsets[kCRSDwarfRegisterCount] = {
    offsetof(CRSThreadContext, rax), offsetof(CRSThreadContext, rdx),
    offsetof(CRSThreadContext, rcx), offsetof(CRSThreadContext, rbx),
    offsetof(CRSThreadContext, rsi), offsetof(CRSThreadContext, rdi),
    offsetof(CRSThreadContext, rbp), offsetof(CRSThreadContext, rsp),
    offsetof(CRSThreadContext, r8),  offsetof(CRSThreadContext, r9),
    offsetof(CRSThreadContext, r10), offsetof(CRSThreadContext, r11),
    offsetof(CRSThreadContext, r12), offsetof(CRSThreadContext, r13),
    offsetof(CRSThreadContext, r14), offsetof(CRSThreadContext, r15),
    offsetof(CRSThreadContext, rip)};

std::uint64_t& registerAt(CRSThreadContext* registers, std::uint64_t number) {
    return *reinterpret_cast<std::uint64_t*>(reinterpret_cast<char*>(registers) +
                                             kRegisterOffsets[number]);
}

std::uint64_t registerAt(const CRSThreadContext* registers, std::uint64_t number) {
    return registerAt(const_cast<CRSThreadContext*>(registers), number);
}

// Copies a row: the CFA and only the rules that are set.
void copyState(CRSDwarfState* to, const CRSDwarfState& from) {
    to->cfaRegister = from.cfaRegister;
    to->cfaRegisterOffset = from.cfaRegisterOffset;
    to->cfaExpression = from.cfaExpression;
    to->ruleMask = from.ruleMask;
    for (std::uint32_t mask = from.ruleMask; mask != 0; mask &= mask - 1) {
        const int reg = __builtin_ctz(mask);
        to->registers[reg] = from.registers[reg];
    }
}

// Factored offsets times the alignment factor, wrapping as the address arithmetic does: a
// damaged record must give a wrong number, not undefined behaviour.
std::int64_t scaled(std::int64_t factored, std::int64_t factor) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(factored) *
                                     static_cast<std::uint64_t>(factor));
}

// Skips a length-prefixed expression, leaving the cursor after it.
void skipExpression(CRSDwarfCursor* cursor) {
    const std::uint64_t length = CRSParseULEB128AndAdvance(cursor);
    if (cursor->failed || length > cursor->end - cursor->at) {
        cursor->failed = true;
        return;
    }
    cursor->at += length;
}

struct Runner {
    Runner(const CRSDwarfCIERecord& cie, const CRSDwarfSection& section, CRSDwarfState* state,
           const CRSDwarfState* initial, std::int64_t pcOffset)
        : cie(cie), section(section), state(state), initial(initial), pcOffset(pcOffset) {}

    const CRSDwarfCIERecord& cie;
    const CRSDwarfSection& section;
    CRSDwarfState* state;
    const CRSDwarfState* initial;
    std::int64_t pcOffset;
    std::uint64_t location = 0;
    CRSDwarfState remembered[kCRSDwarfRememberStackSize];
    int rememberedCount = 0;

    // Moves the location; false when the new row starts past the PC and the run must end.
    bool advance(std::uint64_t delta) {
        const std::uint64_t next = location + delta * cie.codeAlignFactor;
        if (static_cast<std::int64_t>(next) > pcOffset) return false;
        location = next;
        return true;
    }

    bool setRule(std::uint64_t reg, std::int32_t kind, std::uint64_t value) {
        if (!validRegister(reg)) return false;
        const std::uint32_t bit = 1u << reg;
        if (kind == CRSDwarfRuleUnchanged) {
            state->ruleMask &= ~bit;
        } else {
            state->registers[reg] = CRSDwarfRegisterRule{kind, value};
            state->ruleMask |= bit;
        }
        return true;
    }

    bool restore(std::uint64_t reg) {
        if (!validRegister(reg)) return false;
        const CRSDwarfRegisterRule rule = initial != nullptr
                                              ? CRSDwarfStateRule(*initial, static_cast<int>(reg))
                                              : CRSDwarfRegisterRule{CRSDwarfRuleUnchanged, 0};
        return setRule(reg, rule.kind, rule.value);
    }

    std::uint64_t scaledOffset(std::int64_t factored) {
        return static_cast<std::uint64_t>(scaled(factored, cie.dataAlignFactor));
    }

    enum class Outcome { next, stop, fail };

    Outcome step(CRSDwarfCursor* c) {
        const std::uint8_t opcode = CRSParseUint8AndAdvance(c);
        const std::uint8_t operand = opcode & 0x3F;
        switch (opcode & 0xC0) {
            case 0x40:  // DW_CFA_advance_loc
                return advance(operand) ? Outcome::next : Outcome::stop;
            case 0x80:  // DW_CFA_offset
                return setRule(
                           operand, CRSDwarfRuleAtCFAOffset,
                           scaledOffset(static_cast<std::int64_t>(CRSParseULEB128AndAdvance(c))))
                           ? Outcome::next
                           : Outcome::fail;
            case 0xC0:  // DW_CFA_restore
                return restore(operand) ? Outcome::next : Outcome::fail;
            default:
                break;
        }
        switch (opcode) {
            case 0x00:  // DW_CFA_nop
                return Outcome::next;
            case 0x01: {  // DW_CFA_set_loc
                std::uint64_t address = 0;
                if (!CRSParseAddressWithEncodingAndAdvance(c, cie.pointerEncoding, section,
                                                           &address)) {
                    return Outcome::fail;
                }
                if (static_cast<std::int64_t>(address) > pcOffset) return Outcome::stop;
                location = address;
                return Outcome::next;
            }
            case 0x02:  // DW_CFA_advance_loc1
                return advance(CRSParseUint8AndAdvance(c)) ? Outcome::next : Outcome::stop;
            case 0x03:  // DW_CFA_advance_loc2
                return advance(CRSParseUint16AndAdvance(c)) ? Outcome::next : Outcome::stop;
            case 0x04:  // DW_CFA_advance_loc4
                return advance(CRSParseUint32AndAdvance(c)) ? Outcome::next : Outcome::stop;
            case 0x05: {  // DW_CFA_offset_extended
                const std::uint64_t reg = CRSParseULEB128AndAdvance(c);
                const auto offset = static_cast<std::int64_t>(CRSParseULEB128AndAdvance(c));
                return setRule(reg, CRSDwarfRuleAtCFAOffset, scaledOffset(offset)) ? Outcome::next
                                                                                   : Outcome::fail;
            }
            case 0x06:  // DW_CFA_restore_extended
                return restore(CRSParseULEB128AndAdvance(c)) ? Outcome::next : Outcome::fail;
            case 0x07:  // DW_CFA_undefined
                return setRule(CRSParseULEB128AndAdvance(c), CRSDwarfRuleUndefined, 0)
                           ? Outcome::next
                           : Outcome::fail;
            case 0x08:  // DW_CFA_same_value
                return setRule(CRSParseULEB128AndAdvance(c), CRSDwarfRuleUnchanged, 0)
                           ? Outcome::next
                           : Outcome::fail;
            case 0x09: {  // DW_CFA_register
                const std::uint64_t reg = CRSParseULEB128AndAdvance(c);
                const std::uint64_t other = CRSParseULEB128AndAdvance(c);
                if (!validRegister(other)) {
                    CRSSDKLogWarn("Error: Found an invalid DW_CFA_register value\n");
                    return Outcome::fail;
                }
                return setRule(reg, CRSDwarfRuleRegister, other) ? Outcome::next : Outcome::fail;
            }
            case 0x0A:  // DW_CFA_remember_state
                if (rememberedCount == kCRSDwarfRememberStackSize) return Outcome::fail;
                copyState(&remembered[rememberedCount++], *state);
                return Outcome::next;
            case 0x0B:  // DW_CFA_restore_state: the whole remembered row returns
                if (rememberedCount == 0) return Outcome::fail;
                copyState(state, remembered[--rememberedCount]);
                return Outcome::next;
            case 0x0C:    // DW_CFA_def_cfa
            case 0x12: {  // DW_CFA_def_cfa_sf
                const std::uint64_t reg = CRSParseULEB128AndAdvance(c);
                const std::int64_t offset =
                    opcode == 0x0C ? static_cast<std::int64_t>(CRSParseULEB128AndAdvance(c))
                                   : scaled(CRSParseLEB128AndAdvance(c), cie.dataAlignFactor);
                if (!validRegister(reg)) {
                    CRSSDKLogWarn("Error: Found an invalid DW_CFA_def_cfa register number\n");
                    return Outcome::fail;
                }
                state->cfaRegister = reg;
                state->cfaRegisterOffset = offset;
                state->cfaExpression = 0;
                return Outcome::next;
            }
            case 0x0D: {  // DW_CFA_def_cfa_register
                const std::uint64_t reg = CRSParseULEB128AndAdvance(c);
                if (!validRegister(reg)) {
                    CRSSDKLogWarn(
                        "Error: Found an invalid DW_CFA_def_cfa_register register number\n");
                    return Outcome::fail;
                }
                state->cfaRegister = reg;
                state->cfaExpression = 0;
                return Outcome::next;
            }
            case 0x0E:  // DW_CFA_def_cfa_offset
                state->cfaRegisterOffset = static_cast<std::int64_t>(CRSParseULEB128AndAdvance(c));
                return Outcome::next;
            case 0x13:  // DW_CFA_def_cfa_offset_sf
                state->cfaRegisterOffset = scaled(CRSParseLEB128AndAdvance(c), cie.dataAlignFactor);
                return Outcome::next;
            case 0x0F:  // DW_CFA_def_cfa_expression
                state->cfaRegister = kCRSDwarfRegisterCount;
                state->cfaExpression = c->at;
                skipExpression(c);
                return Outcome::next;
            case 0x10:    // DW_CFA_expression
            case 0x16: {  // DW_CFA_val_expression
                const std::uint64_t reg = CRSParseULEB128AndAdvance(c);
                const std::uintptr_t expression = c->at;
                skipExpression(c);
                return setRule(
                           reg,
                           opcode == 0x10 ? CRSDwarfRuleAtExpression : CRSDwarfRuleValueExpression,
                           expression)
                           ? Outcome::next
                           : Outcome::fail;
            }
            case 0x11: {  // DW_CFA_offset_extended_sf
                const std::uint64_t reg = CRSParseULEB128AndAdvance(c);
                const std::int64_t offset = CRSParseLEB128AndAdvance(c);
                return setRule(reg, CRSDwarfRuleAtCFAOffset, scaledOffset(offset)) ? Outcome::next
                                                                                   : Outcome::fail;
            }
            case 0x2E:  // DW_CFA_GNU_args_size: only matters for landing pads
                CRSParseULEB128AndAdvance(c);
                return Outcome::next;
            default:
                CRSSDKLogWarn("Error: Unimplemented DWARF instruction 0x%x\n", unsigned{opcode});
                return Outcome::fail;
        }
    }
};

bool computeCFA(const CRSDwarfState& state, const CRSDwarfSection& section,
                const CRSThreadContext* registers, std::uint64_t* cfa) {
    if (state.cfaExpression != 0) {
        return CRSDwarfEvaluateExpression(state.cfaExpression, section, registers, 0, cfa);
    }
    if (!validRegister(state.cfaRegister)) return false;
    *cfa = registerAt(registers, state.cfaRegister) +
           static_cast<std::uint64_t>(state.cfaRegisterOffset);
    return true;
}

bool savedRegister(const CRSThreadContext* registers, const CRSDwarfSection& section,
                   std::uint64_t cfa, const CRSDwarfRegisterRule& rule, CRSMemoryReader* reader,
                   std::uint64_t* value) {
    switch (rule.kind) {
        case CRSDwarfRuleAtCFAOffset:
            return CRSMemoryReaderRead(reader, reinterpret_cast<const void*>(cfa + rule.value),
                                       value, 8);
        case CRSDwarfRuleValueCFAOffset:
            *value = cfa + rule.value;
            return true;
        case CRSDwarfRuleRegister:
            if (!validRegister(rule.value)) return false;
            *value = registerAt(registers, rule.value);
            return true;
        case CRSDwarfRuleAtExpression: {
            std::uint64_t address = 0;
            return CRSDwarfEvaluateExpression(rule.value, section, registers, cfa, &address) &&
                   CRSMemoryReaderRead(reader, reinterpret_cast<const void*>(address), value, 8);
        }
        case CRSDwarfRuleValueExpression:
            return CRSDwarfEvaluateExpression(rule.value, section, registers, cfa, value);
        default:
            CRSSDKLogWarn("Error: Unrecognized register save location 0x%x\n",
                          static_cast<unsigned>(rule.kind));
            return false;
    }
}

}  // namespace

bool CRSDwarfInstructionsEnumerate(std::uintptr_t start, std::uintptr_t end,
                                   const CRSDwarfCIERecord& cie, const CRSDwarfSection& section,
                                   CRSDwarfState* state, const CRSDwarfState* initial,
                                   std::int64_t pcOffset) {
    if (state == nullptr || end < start) {
        CRSSDKLogWarn("Error: inputs invalid\n");
        return false;
    }
    Runner runner(cie, section, state, initial, pcOffset);
    CRSDwarfCursor cursor = CRSDwarfCursorMake(start, end);
    while (cursor.at < cursor.end) {
        const Runner::Outcome outcome = runner.step(&cursor);
        if (outcome == Runner::Outcome::stop) break;
        if (outcome == Runner::Outcome::fail || cursor.failed) {
            CRSSDKLogWarn("Error: Failed to execute dwarf instruction\n");
            return false;
        }
    }
    return true;
}

CRSDwarfStepResult CRSDwarfUnwindComputeRegisters(
    const CRSDwarfCFIRecord& record, const CRSDwarfSection& section, std::uintptr_t lookupPC,
    CRSThreadContext* registers, CRSMemoryReader* reader, CRSDwarfCIECache* cache) {
    CRSDwarfCIECache local;
    if (cache == nullptr || cache->cieAddress == 0 || cache->cieAddress != record.cie.address) {
        if (cache == nullptr) cache = &local;
        cache->cieAddress = 0;
        cache->initial.cfaRegister = 0;
        cache->initial.cfaRegisterOffset = 0;
        cache->initial.cfaExpression = 0;
        cache->initial.ruleMask = 0;
        if (!CRSDwarfInstructionsEnumerate(record.cie.instructionsStart, record.cie.instructionsEnd,
                                           record.cie, section, &cache->initial, nullptr,
                                           INT64_MAX)) {
            CRSSDKLogWarn("Error: Unable to run CIE instructions\n");
            return CRSDwarfStepResult::failed;
        }
        cache->cieAddress = record.cie.address;
    }
    const CRSDwarfState& initial = cache->initial;
    if (lookupPC < record.fde.startAddress) {
        CRSSDKLogWarn("Error: The FDE pcOffset value cannot be negative\n");
        return CRSDwarfStepResult::failed;
    }
    CRSDwarfState state;
    copyState(&state, initial);
    const auto pcOffset = static_cast<std::int64_t>(lookupPC - record.fde.startAddress);
    if (!CRSDwarfInstructionsEnumerate(record.fde.instructionsStart, record.fde.instructionsEnd,
                                       record.cie, section, &state, &initial, pcOffset)) {
        CRSSDKLogWarn("Error: Unable to run FDE instructions\n");
        return CRSDwarfStepResult::failed;
    }

    const CRSDwarfRegisterRule returnAddress =
        CRSDwarfStateRule(state, kCRSDwarfReturnAddressRegister);
    if (returnAddress.kind == CRSDwarfRuleUndefined) return CRSDwarfStepResult::endOfStack;
    if (returnAddress.kind == CRSDwarfRuleUnchanged) {
        CRSSDKLogWarn("Error: PC hasn't changed\n");
        return CRSDwarfStepResult::failed;
    }
    std::uint64_t cfa = 0;
    if (!computeCFA(state, section, registers, &cfa)) {
        CRSSDKLogWarn("Error: failed to get CFA\n");
        return CRSDwarfStepResult::failed;
    }
    // The caller's stack pointer must lie above this frame's: anything else is no progress.
    // A signal frame may return to another stack (the handler ran on its own).
    if (cfa <= registers->rsp && !record.cie.signalFrame) {
        CRSSDKLogWarn("Error: Stack pointer hasn't changed\n");
        return CRSDwarfStepResult::failed;
    }
    // Every rule reads the callee's registers, so the values are gathered before any is set.
    std::uint64_t values[kCRSDwarfRegisterCount];
    std::uint32_t restored = 0;
    for (std::uint32_t mask = state.ruleMask; mask != 0; mask &= mask - 1) {
        const int reg = __builtin_ctz(mask);
        const CRSDwarfRegisterRule& rule = state.registers[reg];
        if (rule.kind == CRSDwarfRuleUndefined) continue;
        if (!savedRegister(registers, section, cfa, rule, reader, &values[reg])) {
            CRSSDKLogWarn("Error: Unable to restore register value\n");
            return CRSDwarfStepResult::failed;
        }
        restored |= 1u << reg;
    }
    for (std::uint32_t mask = restored; mask != 0; mask &= mask - 1) {
        const int reg = __builtin_ctz(mask);
        registerAt(registers, static_cast<std::uint64_t>(reg)) = values[reg];
    }
    registers->rsp = cfa;
    return CRSDwarfStepResult::stepped;
}

}  // namespace pex
