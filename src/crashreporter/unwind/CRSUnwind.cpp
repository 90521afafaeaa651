#include "crashreporter/unwind/CRSUnwind.h"

#include <cstring>

#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "crashreporter/unwind/CRSDwarfUnwind.h"
#include "crashreporter/unwind/CRSEhFrameHeader.h"

namespace pex {

namespace {

// Words of the innermost frame's stack searched for a return address.
constexpr std::uintptr_t kMaxScanWords = 256;

bool present(const CRSUnwindContext* context) {
    return CRSIsValidPointer(reinterpret_cast<std::uintptr_t>(context));
}

bool insideStack(const CRSUnwindContext* context, std::uintptr_t address) {
    return address >= context->stackLow && address < context->stackHigh;
}

bool insideSomeImage(std::uintptr_t address) {
    CRSBinaryImageRuntimeNode node;
    return CRSBinaryImageSafeFindImageForAddress(address, &node);
}

// The innermost frame may stop where its return address is still on top of the stack (a
// leaf, or before the frame is set up): the first word above the stack pointer that points
// into a loaded image is taken as the return address.
bool scanForReturnAddress(CRSUnwindContext* context) {
    CRSSDKLogInfo("Attempting stack scan\n");
    const std::uintptr_t sp = context->registers.rsp;
    for (std::uintptr_t i = 0; i < kMaxScanWords; ++i) {
        const std::uintptr_t slot = sp + 8 * i;
        if (slot < sp || !insideStack(context, slot)) return false;
        std::uint64_t word = 0;
        if (!CRSMemoryReaderRead(&context->memory, reinterpret_cast<const void*>(slot), &word,
                                 sizeof word)) {
            return false;
        }
        if (CRSIsValidPointer(word) && insideSomeImage(word)) {
            context->registers.rip = word;
            context->registers.rsp = slot + 8;
            CRSSDKLogInfo("Stack scan successful\n");
            return true;
        }
    }
    return false;
}

// Counts the new frame; false when its registers cannot be a frame.
bool acceptFrame(CRSUnwindContext* context) {
    const std::uintptr_t pc = context->registers.rip;
    if (!CRSIsValidPointer(pc)) return false;
    if (!CRSIsValidPointer(context->registers.rsp)) {
        CRSSDKLogWarn("Error: SP (%p) isn't a valid pointer\n",
                      reinterpret_cast<void*>(context->registers.rsp));
        return false;
    }
    context->repeatCount = pc == context->lastFramePC ? context->repeatCount + 1 : 0;
    context->frameCount += 1;
    context->lastFramePC = pc;
    return true;
}

}  // namespace

bool CRSUnwindInit(CRSUnwindContext* context, const CRSThreadContext* registers) {
    if (!present(context)) return false;
    std::memset(context, 0, sizeof *context);
    if (registers != nullptr) context->registers = *registers;
    context->pcIsExact = true;
    context->stackLow = 0;
    context->stackHigh = UINTPTR_MAX;
    return true;
}

void CRSUnwindSetStackBounds(CRSUnwindContext* context, std::uintptr_t low, std::uintptr_t high) {
    if (!present(context) || low >= high) return;
    context->stackLow = low;
    context->stackHigh = high;
    // Everything from the stack pointer's page to the top is the stack the thread has been
    // using: once that page proves readable, reads there need not ask the kernel again. A
    // stack pointer outside the bounds (an overflow into the guard page) vouches for nothing.
    const std::uintptr_t sp = context->registers.rsp;
    if (sp < low || sp >= high) return;
    const std::uintptr_t spPage = sp & ~std::uintptr_t{4095};
    CRSMemoryReaderTrustRange(&context->memory, spPage > low ? spPage : low, high);
}

CRSUnwindStep CRSUnwindStepWithDwarf(CRSUnwindContext* context) {
    const std::uintptr_t pc = context->registers.rip;
    // A return address points after the call; the call itself is one byte earlier.
    const std::uintptr_t lookupPC = context->pcIsExact ? pc : pc - 1;
    CRSBinaryImageRuntimeNode& image = context->lastImage;
    const bool cached = image.baseAddress != 0 && lookupPC >= image.baseAddress &&
                        lookupPC - image.baseAddress < image.size;
    if (!cached && !CRSBinaryImageSafeFindImageForAddress(lookupPC, &image)) {
        image = CRSBinaryImageRuntimeNode{};
        CRSSDKLogDebug("Unable to find binary for %p\n", reinterpret_cast<void*>(lookupPC));
        return CRSUnwindStep::failed;
    }
    if (image.ehFrame == 0) return CRSUnwindStep::failed;
    // The CIE of the previous frame is kept when this frame's FDE names the same one.
    CRSDwarfCFIRecord& record = context->lastRecord;
    CRSDwarfSection section;
    if (!CRSEhFrameHeaderFindFDE(image.ehFrame, image.ehFrameSegmentStart, image.ehFrameSegmentEnd,
                                 lookupPC, &record, &section, cached)) {
        record.cie.length = 0;
        context->cieCache.cieAddress = 0;
        CRSSDKLogDebug("No call-frame information for %p\n", reinterpret_cast<void*>(lookupPC));
        return CRSUnwindStep::failed;
    }
    switch (CRSDwarfUnwindComputeRegisters(record, section, lookupPC, &context->registers,
                                           &context->memory, &context->cieCache)) {
        case CRSDwarfStepResult::stepped:
            // Stepping out of a signal frame lands where the signal interrupted.
            context->pcIsExact = record.cie.signalFrame;
            return CRSUnwindStep::stepped;
        case CRSDwarfStepResult::endOfStack:
            return CRSUnwindStep::endOfStack;
        case CRSDwarfStepResult::failed:
            break;
    }
    CRSSDKLogWarn("Failed to compute DWARF registers\n");
    return CRSUnwindStep::failed;
}

CRSUnwindStep CRSUnwindStepWithFramePointer(CRSUnwindContext* context) {
    const std::uintptr_t fp = context->registers.rbp;
    if (fp == 0) return CRSUnwindStep::endOfStack;
    std::uint64_t frame[2];
    if (!CRSIsValidPointer(fp) ||
        !CRSMemoryReaderRead(&context->memory, reinterpret_cast<const void*>(fp), frame, 16)) {
        CRSSDKLogWarn("Error: failed to read memory at address %p\n", reinterpret_cast<void*>(fp));
        return CRSUnwindStep::failed;
    }
    const std::uintptr_t newSP = fp + 16;
    // The caller's frame lies above this one, on the same stack: this ends cycles and jumps.
    if (newSP <= context->registers.rsp || newSP < fp || !insideStack(context, fp) ||
        !insideStack(context, newSP - 1)) {
        CRSSDKLogWarn("Error: frame pointer %p does not lead up the stack\n",
                      reinterpret_cast<void*>(fp));
        return CRSUnwindStep::failed;
    }
    context->registers.rip = frame[1];
    context->registers.rbp = frame[0];
    context->registers.rsp = newSP;
    context->pcIsExact = false;
    return CRSUnwindStep::stepped;
}

bool CRSUnwindNextFrame(CRSUnwindContext* context) {
    if (!present(context)) {
        CRSSDKLogWarn("Error: invalid inputs\n");
        return false;
    }
    if (!CRSIsValidPointer(context->registers.rip) || !CRSIsValidPointer(context->registers.rsp)) {
        if (context->frameCount == 0) {
            CRSSDKLogWarn("Cancelling unwind for thread with invalid PC/SP\n");
        } else {
            CRSSDKLogWarn("Error: thread PC/SP invalid before unwind\n");
        }
        return false;
    }
    if (context->frameCount >= kCRSUnwindMaxFrames) {
        CRSSDKLogWarn("Exceeded maximum number of frames\n");
        return false;
    }
    if (context->frameCount == 0) return acceptFrame(context);

    switch (CRSUnwindStepWithDwarf(context)) {
        case CRSUnwindStep::stepped:
            return acceptFrame(context);
        case CRSUnwindStep::endOfStack:
            return false;
        case CRSUnwindStep::failed:
            break;
    }
    // Without call-frame information: the innermost frame may not have set up its frame
    // yet, so its stack is searched once; later frames follow the frame-pointer chain.
    if (context->frameCount == 1 && context->pcIsExact && scanForReturnAddress(context)) {
        context->pcIsExact = false;
        return acceptFrame(context);
    }
    switch (CRSUnwindStepWithFramePointer(context)) {
        case CRSUnwindStep::stepped:
            return acceptFrame(context);
        case CRSUnwindStep::endOfStack:
            CRSSDKLogDebug("FP is zero, aborting unwind\n");
            return false;
        case CRSUnwindStep::failed:
            break;
    }
    CRSSDKLogWarn("Failed to advance to the next frame\n");
    return false;
}

std::uintptr_t CRSUnwindGetPC(const CRSUnwindContext* context) {
    return present(context) ? context->registers.rip : 0;
}

std::uintptr_t CRSUnwindGetStackPointer(const CRSUnwindContext* context) {
    return present(context) ? context->registers.rsp : 0;
}

std::uint32_t CRSUnwindGetFrameRepeatCount(const CRSUnwindContext* context) {
    return present(context) ? context->repeatCount : 0;
}

}  // namespace pex
