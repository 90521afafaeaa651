#pragma once
// Writes one thread of a crash record: its registers and its unwound stack, with runaway
// recursion folded into "repeated_pc" and "repeat_count" so a stack overflow does not fill the
// report (or the crash-time log) with one address.
#include <cstdint>

#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

// A frame seen this many times in a row starts the folding.
inline constexpr std::uint32_t kCRSRecursionRepeatLimit = 10;

// Writes the thread object (an element of the "threads" array); false when the unwinder could
// not start from the registers. The thread's stack [stackLow, stackHigh), when the caller knows
// it, bounds the walk and makes its stack reads cheap. With `pcIsReturnAddress`, the first PC
// is an outer frame's return address rather than where the thread stopped.
bool CRSThreadRecorderWriteThread(CRSFile* file, const CRSThreadContext& registers, bool crashed,
                                  std::uintptr_t stackLow = 0, std::uintptr_t stackHigh = 0,
                                  bool pcIsReturnAddress = false);

}  // namespace pex
