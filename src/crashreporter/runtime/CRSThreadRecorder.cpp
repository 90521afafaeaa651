#include "crashreporter/runtime/CRSThreadRecorder.h"

#include <atomic>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/unwind/CRSUnwind.h"

namespace pex {

namespace {

// The crash-time log level, which folding raises to warnings while it lasts.
int* logLevel() {
    if (reinterpret_cast<std::uintptr_t>(crsContext) < 4096 ||
        reinterpret_cast<std::uintptr_t>(crsContext->writable) < 4096) {
        return nullptr;
    }
    return &crsContext->writable->internalLogLevel;
}

void setLogLevel(int level) {
    if (int* current = logLevel()) std::atomic_ref<int>(*current).store(level);
}

void writeRegisters(CRSFile* file, const CRSThreadContext& r) {
    CRSFileWriteHashKey(file, "registers");
    CRSFileWriteHashStart(file);
    const struct {
        const char* name;
        std::uint64_t value;
    } registers[] = {{"rax", r.rax}, {"rbx", r.rbx},       {"rcx", r.rcx}, {"rdx", r.rdx},
                     {"rdi", r.rdi}, {"rsi", r.rsi},       {"rbp", r.rbp}, {"rsp", r.rsp},
                     {"r8", r.r8},   {"r9", r.r9},         {"r10", r.r10}, {"r11", r.r11},
                     {"r12", r.r12}, {"r13", r.r13},       {"r14", r.r14}, {"r15", r.r15},
                     {"rip", r.rip}, {"rflags", r.rflags}, {"cs", r.cs},   {"fs", r.fs},
                     {"gs", r.gs}};
    for (const auto& reg : registers) CRSFileWriteHashEntryUint64(file, reg.name, reg.value);
    CRSFileWriteHashEnd(file);
}

}  // namespace

bool CRSThreadRecorderWriteThread(CRSFile* file, const CRSThreadContext& registers, bool crashed,
                                  std::uintptr_t stackLow, std::uintptr_t stackHigh,
                                  bool pcIsReturnAddress) {
    CRSUnwindContext unwind;
    if (!CRSUnwindInit(&unwind, &registers)) {
        CRSSDKLogWarn("Unable to init unwind context\n");
        return false;
    }
    unwind.pcIsExact = !pcIsReturnAddress;
    CRSUnwindSetStackBounds(&unwind, stackLow, stackHigh);
    CRSFileWriteHashStart(file);
    writeRegisters(file, registers);
    CRSFileWriteHashKey(file, "stacktrace");
    CRSFileWriteArrayStart(file);

    const int* level = logLevel();
    const int rememberedLevel = level != nullptr ? *level : CRSSDKLogLevelDebug;
    std::uintptr_t repeatedPC = 0;
    std::uint32_t repeatCount = 0;
    while (CRSUnwindNextFrame(&unwind)) {
        const std::uintptr_t pc = CRSUnwindGetPC(&unwind);
        const std::uint32_t repeats = CRSUnwindGetFrameRepeatCount(&unwind);
        if (repeatedPC != 0 && repeatedPC == pc) {
            repeatCount = repeats;
        } else if (repeatedPC != 0 || repeats < kCRSRecursionRepeatLimit) {
            if (repeatedPC != 0) setLogLevel(rememberedLevel);
            CRSFileWriteArrayEntryUint64(file, pc);
        } else {
            CRSSDKLogWarn("Possible infinite recursion - suppressing logging\n");
            setLogLevel(CRSSDKLogLevelWarn);
            repeatedPC = pc;
            repeatCount = repeats;
        }
    }
    CRSFileWriteArrayEnd(file);
    if (crashed) CRSFileWriteHashEntryBoolean(file, "crashed", true);
    if (repeatedPC != 0) {
        CRSFileWriteHashEntryUint64(file, "repeated_pc", repeatedPC);
        CRSFileWriteHashEntryUint64(file, "repeat_count", repeatCount);
    }
    setLogLevel(rememberedLevel);
    CRSFileWriteHashEnd(file);
    return true;
}

}  // namespace pex
