#include "crashreporter/unwind/CRSDwarfUnwind.h"

#include <climits>
#include <cstring>

#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "crashreporter/unwind/CRSDwarfExpression.h"

namespace pex {

namespace {

bool validRegister(std::uint64_t number) {
    return number < kCRSDwarfRegisterCount;
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
        state->registers[reg] = CRSDwarfRegisterRule{kind, value};
        return true;
    }

    bool restore(std::uint64_t reg) {
        if (!validRegister(reg)) return false;
        state->registers[reg] =
            initial != nullptr ? initial->registers[reg] : CRSDwarfRegisterRule{0, 0};
        return true;
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
                remembered[rememberedCount++] = *state;
                return Outcome::next;
            case 0x0B: {  // DW_CFA_restore_state: the whole remembered row returns
                if (rememberedCount == 0) return Outcome::fail;
                const CRSDwarfState& saved = remembered[--rememberedCount];
                std::memcpy(state->registers, saved.registers, sizeof state->registers);
                state->cfaRegister = saved.cfaRegister;
                state->cfaRegisterOffset = saved.cfaRegisterOffset;
                state->cfaExpression = saved.cfaExpression;
                return Outcome::next;
            }
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
    std::uint64_t base = 0;
    if (!CRSDwarfUnwindGetRegisterValue(registers, state.cfaRegister, &base)) return false;
    *cfa = base + static_cast<std::uint64_t>(state.cfaRegisterOffset);
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
            return CRSDwarfUnwindGetRegisterValue(registers, rule.value, value);
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
        std::memset(&cache->initial, 0, sizeof cache->initial);
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
    CRSDwarfState state = initial;
    const auto pcOffset = static_cast<std::int64_t>(lookupPC - record.fde.startAddress);
    if (!CRSDwarfInstructionsEnumerate(record.fde.instructionsStart, record.fde.instructionsEnd,
                                       record.cie, section, &state, &initial, pcOffset)) {
        CRSSDKLogWarn("Error: Unable to run FDE instructions\n");
        return CRSDwarfStepResult::failed;
    }

    const CRSDwarfRegisterRule& returnAddress = state.registers[kCRSDwarfReturnAddressRegister];
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
    CRSThreadContext caller = *registers;
    for (int reg = 0; reg < kCRSDwarfRegisterCount; ++reg) {
        const CRSDwarfRegisterRule& rule = state.registers[reg];
        if (rule.kind == CRSDwarfRuleUnchanged || rule.kind == CRSDwarfRuleUndefined) continue;
        std::uint64_t value = 0;
        if (!savedRegister(registers, section, cfa, rule, reader, &value)) {
            CRSSDKLogWarn("Error: Unable to restore register value\n");
            return CRSDwarfStepResult::failed;
        }
        CRSDwarfUnwindSetRegisterValue(&caller, static_cast<std::uint64_t>(reg), value);
    }
    caller.rsp = cfa;
    // The caller's stack pointer must lie above this frame's: anything else is no progress.
    // A signal frame may return to another stack (the handler ran on its own).
    if (caller.rsp <= registers->rsp && !record.cie.signalFrame) {
        CRSSDKLogWarn("Error: Stack pointer hasn't changed\n");
        return CRSDwarfStepResult::failed;
    }
    *registers = caller;
    return CRSDwarfStepResult::stepped;
}

}  // namespace pex
