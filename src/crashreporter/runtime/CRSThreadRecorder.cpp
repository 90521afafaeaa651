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

// The frames that reach the record: the innermost written as the walk finds them, the rest
// kept in a ring until the walk ends, so only the outermost of them remain.
class KeptFrames {
  public:
    explicit KeptFrames(CRSFile* file) : file_(file) {}

    // True for the first frame that goes into the ring: the stack is deeper than the record.
    bool add(std::uintptr_t pc) {
        const bool firstBeyond = count_ == kCRSThreadRecorderInnermostFrames;
        if (count_ < kCRSThreadRecorderInnermostFrames) {
            CRSFileWriteArrayEntryUint64(file_, pc);
        } else {
            ring_[(count_ - kCRSThreadRecorderInnermostFrames) %
                  kCRSThreadRecorderOutermostFrames] = pc;
        }
        ++count_;
        return firstBeyond;
    }

    // Writes the ring in walk order; answers how many frames fell out of it.
    std::uint64_t finish() {
        const std::uint64_t beyond = count_ > kCRSThreadRecorderInnermostFrames
                                         ? count_ - kCRSThreadRecorderInnermostFrames
                                         : 0;
        const std::uint64_t kept =
            std::min<std::uint64_t>(beyond, kCRSThreadRecorderOutermostFrames);
        const std::uint64_t oldest = beyond - kept;  // the ring's first entry, in walk order
        for (std::uint64_t i = 0; i < kept; ++i) {
            CRSFileWriteArrayEntryUint64(file_,
                                         ring_[(oldest + i) % kCRSThreadRecorderOutermostFrames]);
        }
        return oldest;
    }

  private:
    CRSFile* file_;
    std::uintptr_t ring_[kCRSThreadRecorderOutermostFrames];
    std::uint64_t count_ = 0;
};

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

    // A frame repeated ten times after its first (a direct recursion) is folded: its further
    // repeats are left out and counted instead, and the frames below it are written again.
    // The walk's steps through the folded frames would fill the crash-time log, so it keeps
    // to warnings meanwhile, as it does beyond the innermost frames of a deep stack.
    const int* level = logLevel();
    const int rememberedLevel = level != nullptr ? *level : CRSSDKLogLevelDebug;
    KeptFrames kept(file);
    bool deep = false;
    bool folding = false;
    std::uintptr_t repeatedPC = 0;
    std::uint32_t repeatCount = 0;
    while (CRSUnwindNextFrame(&unwind)) {
        const std::uintptr_t pc = CRSUnwindGetPC(&unwind);
        const std::uint32_t repeats = CRSUnwindGetFrameRepeatCount(&unwind);
        if (folding && pc == repeatedPC) {
            repeatCount = repeats;
            continue;
        }
        if (!folding && repeats >= kCRSRecursionRepeatLimit) {
            CRSSDKLogWarn("Possible infinite recursion - suppressing logging\n");
            setLogLevel(CRSSDKLogLevelWarn);
            folding = true;
            repeatedPC = pc;
            repeatCount = repeats;
            continue;
        }
        if (folding && !deep) setLogLevel(rememberedLevel);
        if (kept.add(pc)) {
            CRSSDKLogWarn("Deep stack: keeping its innermost and outermost frames\n");
            setLogLevel(CRSSDKLogLevelWarn);
            deep = true;
        }
    }
    const std::uint64_t omitted = kept.finish();
    CRSFileWriteArrayEnd(file);
    if (crashed) CRSFileWriteHashEntryBoolean(file, "crashed", true);
    if (folding) {
        CRSFileWriteHashEntryUint64(file, "repeated_pc", repeatedPC);
        CRSFileWriteHashEntryUint64(file, "repeat_count", repeatCount);
    }
    if (omitted > 0) {
        CRSFileWriteHashKey(file, "frames_omitted");
        CRSFileWriteHashStart(file);
        CRSFileWriteHashEntryUint64(file, "after", kCRSThreadRecorderInnermostFrames);
        CRSFileWriteHashEntryUint64(file, "count", omitted);
        CRSFileWriteHashEnd(file);
    }
    setLogLevel(rememberedLevel);
    CRSFileWriteHashEnd(file);
    return true;
}

}  // namespace pex
