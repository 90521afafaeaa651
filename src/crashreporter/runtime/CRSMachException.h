#pragma once
// Hardware faults as Mach exception messages, before they become signals: a server thread owns
// a port registered for the task's exceptions; on the first exception it puts the earlier
// exception ports and signal handlers back, writes one record into the active report, runs the
// shared crash-time body and replies, so the faulting thread runs again and the fault reaches
// the restored handlers.
//
// Linux has no exception ports (see platform/mach/ExceptionPorts.h): registration fails, no
// server thread starts, and faults are recorded by the signal handlers alone.
#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "platform/mach/ExceptionPorts.h"

namespace pex {

inline constexpr char kCRSMachExceptionFileName[] = "mach_exception.clsrecord";
// Bad access, bad instruction, arithmetic, breakpoint and guard exceptions.
inline constexpr std::uint32_t kCRSMachExceptionMask = 0x104E;
inline constexpr std::size_t kCRSMachExceptionStackSize = 262144;

struct CRSMachExceptionReadOnlyContext {
    mach::Port port;
    pthread_t thread;
    bool threadStarted;
    const char* path;
    std::uint32_t mask;
    mach::ExceptionPortSlots originalPorts;
    // The server thread's preallocated stack (kCRSMachExceptionStackSize bytes); none: the
    // thread gets a stack of the system's.
    void* stack;
};

// Removes an earlier record, registers the port and starts the server thread, once.
void CRSMachExceptionInit(CRSMachExceptionReadOnlyContext* context);
// Allocates the port and swaps it in for `kCRSMachExceptionMask`; false (and nothing left
// registered) on any failure.
bool CRSMachExceptionRegister(CRSMachExceptionReadOnlyContext* context);
// Puts each saved registration back and sets the mask bits none of them covers to no port.
bool CRSMachExceptionUnregister(const mach::ExceptionPortSlots* originalPorts, std::uint32_t mask);
// The server thread's body: receive, dispatch, reply, until receiving or replying fails.
void* CRSMachExceptionServer(void* context);
// Handles one request and answers the return code for its reply (kSuccess or kFailure).
mach::KernReturn CRSMachExceptionDispatchMessage(CRSMachExceptionReadOnlyContext* context,
                                                 const mach::ExceptionRequest& request);
// Writes the "mach_exception" section and the crash body into the record file.
mach::KernReturn CRSMachExceptionRecord(CRSMachExceptionReadOnlyContext* context,
                                        const mach::ExceptionRequest& request);
// The 36-byte reply to `request` carrying `returnCode`.
mach::ExceptionReply CRSMachExceptionMakeReply(const mach::ExceptionRequest& request,
                                               mach::KernReturn returnCode);
// The late check beside the signal handlers' one: answers whether a debugger is attached.
bool CRSMachExceptionCheckHandlers();

}  // namespace pex
