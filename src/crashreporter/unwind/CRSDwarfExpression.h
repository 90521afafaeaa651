#pragma once
// The small stack machine that evaluates call-frame expressions (a CFA or a saved register's
// location computed from registers and memory). The stack holds 100 entries on the C stack;
// memory is read only through the safe reader.
#include <cstdint>

#include "crashreporter/unwind/CRSDwarfReader.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

inline constexpr int kCRSDwarfExpressionStackSize = 100;

// DWARF register numbers 0-16 of x86-64 (16 is the return address); others are refused.
bool CRSDwarfUnwindGetRegisterValue(const CRSThreadContext* registers, std::uint64_t number,
                                    std::uint64_t* value);
bool CRSDwarfUnwindSetRegisterValue(CRSThreadContext* registers, std::uint64_t number,
                                    std::uint64_t value);

// Evaluates the length-prefixed expression at `expression` (read inside `section`) with
// `initialValue` pushed first; the result is the top of the stack.
bool CRSDwarfEvaluateExpression(std::uintptr_t expression, const CRSDwarfSection& section,
                                const CRSThreadContext* registers, std::uint64_t initialValue,
                                std::uint64_t* result);

}  // namespace pex
