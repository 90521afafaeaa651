#pragma once
// The stack walker: from a thread's registers, one call at a time, the frames of its stack.
// Each step uses the image's call-frame information (found through its ".eh_frame_hdr") and
// falls back to the frame-pointer chain, with a one-time scan of the innermost frame's stack.
// It allocates nothing, takes no lock and reads stacks only through the safe reader.
#include <cstdint>

#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/unwind/CRSDwarfUnwind.h"
#include "crashreporter/unwind/CRSMemoryReader.h"
#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

// Frames produced for one thread at most: deeper stacks are cut, and a cycle ends there. Enough
// for a thread's whole default stack (8 MiB) of the smallest frames (a return address and one
// saved register), so even a stack overflow is walked down to the thread's entry.
inline constexpr std::uint32_t kCRSUnwindMaxFrames = 1u << 19;

struct CRSUnwindContext {
    CRSThreadContext registers;
    std::uint32_t frameCount;
    std::uint64_t lastFramePC;
    std::uint32_t repeatCount;
    // The PC is where execution stopped (the first frame, or a frame a signal interrupted),
    // not a return address: it is looked up as it is instead of minus one.
    bool pcIsExact;
    // The thread's stack; frame-pointer steps never leave it.
    std::uintptr_t stackLow;
    std::uintptr_t stackHigh;
    // The image of the last step: consecutive frames are mostly in the same one.
    CRSBinaryImageRuntimeNode lastImage;
    CRSMemoryReader memory;
    // The last call-frame record and its CIE's rules, reused while frames share the CIE.
    CRSDwarfCFIRecord lastRecord;
    CRSDwarfCIECache cieCache;
};

// Zeroes the context and takes the registers; false for a missing context.
bool CRSUnwindInit(CRSUnwindContext* context, const CRSThreadContext* registers);
// The thread's stack [low, high) when it is known (call after `CRSUnwindInit`): frame-pointer
// steps never leave it, and reads between the stack pointer and its top skip the kernel
// after one check.
void CRSUnwindSetStackBounds(CRSUnwindContext* context, std::uintptr_t low, std::uintptr_t high);
// True when the context now holds a further frame; the first call reports the registers
// given to `CRSUnwindInit`.
bool CRSUnwindNextFrame(CRSUnwindContext* context);

std::uintptr_t CRSUnwindGetPC(const CRSUnwindContext* context);
std::uintptr_t CRSUnwindGetStackPointer(const CRSUnwindContext* context);
std::uint32_t CRSUnwindGetFrameRepeatCount(const CRSUnwindContext* context);

// The single strategies, for measuring them apart. Each replaces the registers with the
// caller's on success.
enum class CRSUnwindStep { failed, stepped, endOfStack };
CRSUnwindStep CRSUnwindStepWithDwarf(CRSUnwindContext* context);
CRSUnwindStep CRSUnwindStepWithFramePointer(CRSUnwindContext* context);

}  // namespace pex
