#pragma once
// Writes one thread of a crash record: its registers and its unwound stack. A direct recursion
// (a frame seen ten times in a row) is folded: its first ten frames are written, the rest are
// left out and named by "repeated_pc" (the repeating return address) and "repeat_count" (how
// many times in a row it was seen beyond its first), and the frames below it follow. A stack
// that is still deeper than the record keeps (a recursion through several functions) keeps
// both ends: the innermost frames, where it failed, and the outermost, how the thread got
// there, with the gap between them marked as "frames_omitted": {"after": <frames before the
// gap>, "count": <frames left out>}. Readers of "stacktrace" alone see a shorter stack.
#include <cstdint>

#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

// A frame repeated this many times after its first is folded.
inline constexpr std::uint32_t kCRSRecursionRepeatLimit = 10;
// The frames kept from each end of a deep stack.
inline constexpr std::uint32_t kCRSThreadRecorderInnermostFrames = 512;
inline constexpr std::uint32_t kCRSThreadRecorderOutermostFrames = 128;

// Writes the thread object (an element of the "threads" array); false when the unwinder could
// not start from the registers. The thread's stack [stackLow, stackHigh), when the caller knows
// it, bounds the walk and makes its stack reads cheap. With `pcIsReturnAddress`, the first PC
// is an outer frame's return address rather than where the thread stopped.
bool CRSThreadRecorderWriteThread(CRSFile* file, const CRSThreadContext& registers, bool crashed,
                                  std::uintptr_t stackLow = 0, std::uintptr_t stackHigh = 0,
                                  bool pcIsReturnAddress = false);

}  // namespace pex
