#pragma once
// The register set of one thread (x86-64 general registers) that the unwinder steps from frame
// to frame. Filled from a signal's machine context or captured in place.
#include <ucontext.h>

#include <cstdint>

namespace pex {

struct CRSThreadContext {
    std::uint64_t rax, rbx, rcx, rdx, rdi, rsi, rbp, rsp;
    std::uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
    std::uint64_t rip, rflags, cs, fs, gs;
};

// An address is usable when it is above the first page.
inline bool CRSIsValidPointer(std::uintptr_t address) {
    return address > 4095;
}

// Getters answer 0 and setters false for a missing context (an address below 4096).
std::uintptr_t CRSThreadContextGetPC(const CRSThreadContext* context);
bool CRSThreadContextSetPC(CRSThreadContext* context, std::uintptr_t value);
std::uintptr_t CRSThreadContextGetStackPointer(const CRSThreadContext* context);
bool CRSThreadContextSetStackPointer(CRSThreadContext* context, std::uintptr_t value);
std::uintptr_t CRSThreadContextGetFramePointer(const CRSThreadContext* context);
bool CRSThreadContextSetFramePointer(CRSThreadContext* context, std::uintptr_t value);
// No link register on this processor.
std::uintptr_t CRSThreadContextGetLinkRegister(const CRSThreadContext* context);

// The general registers of a signal's (or `getcontext`'s) machine context.
void CRSThreadContextFromUContext(const ucontext_t* source, CRSThreadContext* out);
// The same from the general registers alone (a machine context's `gregs`).
void CRSThreadContextFromGregs(const greg_t* gregs, CRSThreadContext* out);

}  // namespace pex
