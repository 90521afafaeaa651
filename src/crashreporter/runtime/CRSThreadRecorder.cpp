#include "crashreporter/runtime/CRSThreadRecorder.h"

#include <algorithm>
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

    // The innermost frames are written as the walk finds them; the outermost wait in a ring
    // until the walk ends, so only the last of them remain.
    const int* level = logLevel();
    const int rememberedLevel = level != nullptr ? *level : CRSSDKLogLevelDebug;
    std::uintptr_t outermost[kCRSThreadRecorderOutermostFrames];
    std::uint64_t walked = 0;
    while (CRSUnwindNextFrame(&unwind)) {
        const std::uintptr_t pc = CRSUnwindGetPC(&unwind);
        if (walked < kCRSThreadRecorderInnermostFrames) {
            CRSFileWriteArrayEntryUint64(file, pc);
        } else {
            if (walked == kCRSThreadRecorderInnermostFrames) {
                // The rest of a deep walk would fill the crash-time log with its steps.
                CRSSDKLogWarn("Deep stack: keeping its innermost and outermost frames\n");
                setLogLevel(CRSSDKLogLevelWarn);
            }
            outermost[(walked - kCRSThreadRecorderInnermostFrames) %
                      kCRSThreadRecorderOutermostFrames] = pc;
        }
        ++walked;
    }
    const std::uint64_t beyond =
        walked > kCRSThreadRecorderInnermostFrames ? walked - kCRSThreadRecorderInnermostFrames : 0;
    const std::uint64_t kept = std::min<std::uint64_t>(beyond, kCRSThreadRecorderOutermostFrames);
    const std::uint64_t oldest = beyond - kept;  // the ring's first entry, in walk order
    for (std::uint64_t i = 0; i < kept; ++i) {
        CRSFileWriteArrayEntryUint64(file,
                                     outermost[(oldest + i) % kCRSThreadRecorderOutermostFrames]);
    }
    CRSFileWriteArrayEnd(file);
    if (crashed) CRSFileWriteHashEntryBoolean(file, "crashed", true);
    if (oldest > 0) {
        CRSFileWriteHashKey(file, "frames_omitted");
        CRSFileWriteHashStart(file);
        CRSFileWriteHashEntryUint64(file, "after", kCRSThreadRecorderInnermostFrames);
        CRSFileWriteHashEntryUint64(file, "count", oldest);
        CRSFileWriteHashEnd(file);
    }
    setLogLevel(rememberedLevel);
    CRSFileWriteHashEnd(file);
    return true;
}

}  // namespace pex
