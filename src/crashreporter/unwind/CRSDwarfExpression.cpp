#include "crashreporter/unwind/CRSDwarfExpression.h"

#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"

namespace pex {

namespace {

// A fixed stack that turns invalid on overflow or underflow; every later use then fails.
class ExpressionStack {
  public:
    bool valid() const { return valid_; }
    void push(std::uint64_t value) {
        if (!valid_ || size_ == kCRSDwarfExpressionStackSize) {
            valid_ = false;
            return;
        }
        entries_[size_++] = value;
    }
    std::uint64_t pop() {
        if (!valid_ || size_ == 0) {
            valid_ = false;
            return 0;
        }
        return entries_[--size_];
    }
    std::uint64_t peek(int depth = 0) {
        if (!valid_ || size_ <= depth) {
            valid_ = false;
            return 0;
        }
        return entries_[size_ - 1 - depth];
    }

  private:
    std::uint64_t entries_[kCRSDwarfExpressionStackSize];
    int size_ = 0;
    bool valid_ = true;
};

std::uint64_t* registerSlot(CRSThreadContext* r, std::uint64_t number) {
    switch (number) {
        case 0:
            return &r->rax;
        case 1:
            return &r->rdx;
        case 2:
            return &r->rcx;
        case 3:
            return &r->rbx;
        case 4:
            return &r->rsi;
        case 5:
            return &r->rdi;
        case 6:
            return &r->rbp;
        case 7:
            return &r->rsp;
        case 8:
            return &r->r8;
        case 9:
            return &r->r9;
        case 10:
            return &r->r10;
        case 11:
            return &r->r11;
        case 12:
            return &r->r12;
        case 13:
            return &r->r13;
        case 14:
            return &r->r14;
        case 15:
            return &r->r15;
        case 16:
            return &r->rip;
        default:
            return nullptr;
    }
}

bool readWord(std::uint64_t address, std::size_t size, std::uint64_t* value) {
    *value = 0;
    return CRSReadMemory(reinterpret_cast<const void*>(address), value, size);
}

// Runs one opcode; false ends the evaluation as failed.
bool execute(std::uint8_t opcode, CRSDwarfCursor* cursor, ExpressionStack& stack,
             const CRSThreadContext* registers) {
    if (opcode >= 0x30 && opcode <= 0x4F) {  // DW_OP_lit0 .. lit31
        stack.push(opcode - 0x30u);
        return stack.valid();
    }
    if (opcode >= 0x70 && opcode <= 0x8F) {  // DW_OP_breg0 .. breg31
        const std::int64_t offset = CRSParseLEB128AndAdvance(cursor);
        std::uint64_t value = 0;
        if (!CRSDwarfUnwindGetRegisterValue(registers, opcode - 0x70u, &value)) {
            CRSSDKLogWarn("Error: DW_OP_breg invalid register number\n");
            return false;
        }
        stack.push(value + static_cast<std::uint64_t>(offset));
        return stack.valid() && !cursor->failed;
    }
    switch (opcode) {
        case 0x06: {  // DW_OP_deref
            std::uint64_t value = 0;
            if (!readWord(stack.pop(), 8, &value)) {
                CRSSDKLogWarn("Error: DW_OP_deref failed to read memory\n");
                return false;
            }
            stack.push(value);
            break;
        }
        case 0x12:  // DW_OP_dup
            stack.push(stack.peek());
            break;
        case 0x16: {  // DW_OP_swap
            const std::uint64_t top = stack.pop();
            const std::uint64_t next = stack.pop();
            stack.push(top);
            stack.push(next);
            break;
        }
        case 0x1A:  // DW_OP_and
            stack.push(stack.pop() & stack.pop());
            break;
        case 0x22:  // DW_OP_plus
            stack.push(stack.pop() + stack.pop());
            break;
        case 0x23: {  // DW_OP_plus_uconst
            const std::uint64_t operand = CRSParseULEB128AndAdvance(cursor);
            stack.push(stack.pop() + operand);
            break;
        }
        case 0x24: {  // DW_OP_shl
            const std::uint64_t shift = stack.pop();
            const std::uint64_t value = stack.pop();
            stack.push(shift >= 64 ? 0 : value << shift);
            break;
        }
        case 0x2A: {  // DW_OP_ge (signed)
            const auto right = static_cast<std::int64_t>(stack.pop());
            const auto left = static_cast<std::int64_t>(stack.pop());
            stack.push(left >= right ? 1 : 0);
            break;
        }
        case 0x2E:  // DW_OP_ne
            stack.push(stack.pop() != stack.pop() ? 1 : 0);
            break;
        case 0x94: {  // DW_OP_deref_size
            const std::uint64_t address = stack.pop();
            const std::uint8_t size = CRSParseUint8AndAdvance(cursor);
            if (size != 1 && size != 2 && size != 4 && size != 8) {
                CRSSDKLogWarn("Error: unrecognized DW_OP_deref_size argument %x\n", unsigned{size});
                return false;
            }
            std::uint64_t value = 0;
            if (!readWord(address, size, &value)) {
                CRSSDKLogWarn("Error: DW_OP_deref_size failed to read memory\n");
                return false;
            }
            stack.push(value);
            break;
        }
        default:
            CRSSDKLogWarn("Error: Unrecognized DWARF expression opcode 0x%x\n", unsigned{opcode});
            return false;
    }
    return stack.valid() && !cursor->failed;
}

}  // namespace

bool CRSDwarfUnwindGetRegisterValue(const CRSThreadContext* registers, std::uint64_t number,
                                    std::uint64_t* value) {
    const std::uint64_t* slot = registerSlot(const_cast<CRSThreadContext*>(registers), number);
    if (slot == nullptr) {
        CRSSDKLogWarn("Error: Unrecognized get register number %llu\n",
                      static_cast<unsigned long long>(number));
        return false;
    }
    *value = *slot;
    return true;
}

bool CRSDwarfUnwindSetRegisterValue(CRSThreadContext* registers, std::uint64_t number,
                                    std::uint64_t value) {
    std::uint64_t* slot = registerSlot(registers, number);
    if (slot == nullptr) {
        CRSSDKLogWarn("Unrecognized set register number %llu\n",
                      static_cast<unsigned long long>(number));
        return false;
    }
    *slot = value;
    return true;
}

bool CRSDwarfEvaluateExpression(std::uintptr_t expression, const CRSDwarfSection& section,
                                const CRSThreadContext* registers, std::uint64_t initialValue,
                                std::uint64_t* result) {
    if (expression == 0 || registers == nullptr || result == nullptr) {
        CRSSDKLogWarn("Error: inputs invalid\n");
        return false;
    }
    ExpressionStack stack;
    stack.push(initialValue);
    CRSDwarfCursor cursor = CRSDwarfCursorMake(expression, section.end);
    const std::uint64_t length = CRSParseULEB128AndAdvance(&cursor);
    if (cursor.failed || length == 0 || length > cursor.end - cursor.at) {
        CRSSDKLogWarn("Error: DWARF expression length is zero\n");
        return false;
    }
    cursor.end = cursor.at + length;
    while (cursor.at < cursor.end) {
        const std::uint8_t opcode = CRSParseUint8AndAdvance(&cursor);
        if (!execute(opcode, &cursor, stack, registers)) {
            CRSSDKLogWarn("Error: failed to execute DWARF machine opcode\n");
            return false;
        }
    }
    *result = stack.peek();
    if (!stack.valid() || cursor.at != cursor.end) {
        CRSSDKLogWarn("Error: failed to get DWARF expression result\n");
        return false;
    }
    return true;
}

}  // namespace pex
