#pragma once
// Writes one thread of a crash record: its registers and its unwound stack, with runaway
// recursion folded into "repeated_pc" and "repeat_count" so a stack overflow does not fill the
// report (or the crash-time log) with one address.
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

// A frame seen this many times in a row starts the folding.
inline constexpr std::uint32_t kCRSRecursionRepeatLimit = 10;

// Writes the thread object (an element of the "threads" array); false when the unwinder could
// not start from the registers.
bool CRSThreadRecorderWriteThread(CRSFile* file, const CRSThreadContext& registers, bool crashed);

}  // namespace pex
