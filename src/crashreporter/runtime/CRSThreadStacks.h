#pragma once
// Where each thread's stack lies, known before a crash so the stack walk can be bounded by it
// (a frame pointer that leaves the stack ends the walk) and can read the used part of the stack
// without asking the kernel page by page. The product's own threads note their stack as they
// start (the thread-start hook) and the thread that sets crash reporting up notes its own;
// every other thread's stack is found at crash time from the process's memory map, read with
// plain system calls into a fixed buffer: the mapping that holds its stack pointer.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace pex {

// Stacks noted at most; threads beyond that are found through the memory map.
inline constexpr std::size_t kCRSThreadStacksCapacity = 1024;
// A stack pointer this far below a mapping still belongs to it: a thread that overflowed its
// stack faults just below its lowest page, in the guard below it.
inline constexpr std::uintptr_t kCRSThreadStackGuardReach = 64 * 1024;

// Notes the calling thread's stack until the thread ends. Cheap when repeated.
void CRSThreadStacksNoteCurrentThread();

// The noted stack of `thread` when it holds `sp` (or `sp` lies just below it); false when
// none was noted, or the note is from an earlier thread of the same id.
bool CRSThreadStacksFindNoted(pid_t thread, std::uintptr_t sp, std::uintptr_t* low,
                              std::uintptr_t* high);

// For each `sps[i]` whose `lows[i]` and `highs[i]` are both 0: the writable mapping of the
// process that holds it, or the one just above it (see kCRSThreadStackGuardReach); left 0 when
// there is none. One pass over "/proc/self/maps"; no allocation, no lock.
void CRSThreadStacksFindInMemoryMap(const std::uintptr_t* sps, std::size_t count,
                                    std::uintptr_t* lows, std::uintptr_t* highs);

}  // namespace pex
