#include "crashreporter/unwind/CRSThreadContext.h"

namespace pex {

namespace {

bool present(const CRSThreadContext* context) {
    return CRSIsValidPointer(reinterpret_cast<std::uintptr_t>(context));
}

}  // namespace

std::uintptr_t CRSThreadContextGetPC(const CRSThreadContext* context) {
    return present(context) ? context->rip : 0;
}

bool CRSThreadContextSetPC(CRSThreadContext* context, std::uintptr_t value) {
    if (!present(context)) return false;
    context->rip = value;
    return true;
}

std::uintptr_t CRSThreadContextGetStackPointer(const CRSThreadContext* context) {
    return present(context) ? context->rsp : 0;
}

bool CRSThreadContextSetStackPointer(CRSThreadContext* context, std::uintptr_t value) {
    if (!present(context)) return false;
    context->rsp = value;
    return true;
}

std::uintptr_t CRSThreadContextGetFramePointer(const CRSThreadContext* context) {
    return present(context) ? context->rbp : 0;
}

bool CRSThreadContextSetFramePointer(CRSThreadContext* context, std::uintptr_t value) {
    if (!present(context)) return false;
    context->rbp = value;
    return true;
}

std::uintptr_t CRSThreadContextGetLinkRegister(const CRSThreadContext*) {
    return 0;
}

void CRSThreadContextFromUContext(const ucontext_t* source, CRSThreadContext* out) {
    CRSThreadContextFromGregs(source->uc_mcontext.gregs, out);
}

void CRSThreadContextFromGregs(const greg_t* g, CRSThreadContext* out) {
    auto r = [&](int index) { return static_cast<std::uint64_t>(g[index]); };
    *out = CRSThreadContext{r(REG_RAX), r(REG_RBX), r(REG_RCX), r(REG_RDX), r(REG_RDI), r(REG_RSI),
                            r(REG_RBP), r(REG_RSP), r(REG_R8),  r(REG_R9),  r(REG_R10), r(REG_R11),
                            r(REG_R12), r(REG_R13), r(REG_R14), r(REG_R15), r(REG_RIP), r(REG_EFL),
                            0,          0,          0};
    // cs, fs and gs share one word: cs in bits 0-15, gs in 16-31, fs in 32-47.
    const std::uint64_t segments = r(REG_CSGSFS);
    out->cs = segments & 0xFFFF;
    out->gs = (segments >> 16) & 0xFFFF;
    out->fs = (segments >> 32) & 0xFFFF;
}

}  // namespace pex
