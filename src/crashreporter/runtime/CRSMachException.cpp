#include "crashreporter/runtime/CRSMachException.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSHandler.h"
#include "crashreporter/runtime/CRSMachExceptionNames.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSSignal.h"
#include "crashreporter/runtime/CRSUtilities.h"
#include "platform/foundation/ThreadStartHook.h"

namespace pex {

namespace {

constexpr std::uint32_t kBehavior = mach::kExceptionDefault | mach::kExceptionCodes64;
// Linux keeps 15 bytes of a thread name; the end of the server's full name says what it is.
constexpr char kServerThreadName[] = "com.beacon.crashreporter.MachExceptionServer";
constexpr std::size_t kThreadNameLimit = 15;

bool contextPresent() {
    return reinterpret_cast<std::uintptr_t>(crsContext) >= 4096 &&
           reinterpret_cast<std::uintptr_t>(crsContext->readonly) >= 4096;
}

bool startServerThread(CRSMachExceptionReadOnlyContext* context) {
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error != 0) {
        CRSSDKLogError("pthread_attr_init %s\n", strerror(error));
        return false;
    }
    bool started = false;
    if ((error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED)) != 0) {
        CRSSDKLogError("pthread_attr_setdetachstate %s\n", strerror(error));
    } else if (context->stack != nullptr &&
               (error = pthread_attr_setstack(&attributes, context->stack,
                                              kCRSMachExceptionStackSize)) != 0) {
        CRSSDKLogError("pthread_attr_setstack %s\n", strerror(error));
    } else if ((error = pthread_create(&context->thread, &attributes, CRSMachExceptionServer,
                                       context)) != 0) {
        CRSSDKLogError("pthread_create %s\n", strerror(error));
    } else {
        started = true;
    }
    pthread_attr_destroy(&attributes);
    return started;
}

void writeRecord(CRSFile* file, const mach::ExceptionRequest& request,
                 const CRSMachExceptionReadOnlyContext* context) {
    // The kernel fills at most two codes; a larger count in a damaged message is not believed.
    const std::uint32_t codeCount = request.codeCount < 2 ? request.codeCount : 2;
    const char* name = nullptr;
    const char* codeName = nullptr;
    CRSMachExceptionLookupNames(request.exception, codeCount > 0 ? request.code[0] : 0, &name,
                                &codeName);
    CRSFileWriteSectionStart(file, "mach_exception");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryInt64(file, "exception", request.exception);
    CRSFileWriteHashKey(file, "codes");
    CRSFileWriteArrayStart(file);
    for (std::uint32_t i = 0; i < codeCount; ++i) {
        CRSFileWriteArrayEntryUint64(file, static_cast<std::uint64_t>(request.code[i]));
    }
    CRSFileWriteArrayEnd(file);
    CRSFileWriteHashEntryString(file, "name", name);
    CRSFileWriteHashEntryString(file, "code_name", codeName);
    CRSFileWriteHashEntryUint64(file, "original_ports", context->originalPorts.count);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    CRSFileWriteHashEntryUint64(file, "time", static_cast<std::uint64_t>(now.tv_sec));
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

}  // namespace

void CRSMachExceptionInit(CRSMachExceptionReadOnlyContext* context) {
    if (context == nullptr) return;
    if (!CRSUnlinkIfExists(context->path)) {
        CRSSDKLogError("Unable to reset the mach exception file %s\n", strerror(errno));
    }
    if (!CRSMachExceptionRegister(context)) {
        CRSSDKLogError("Unable to register mach exception handler\n");
        return;
    }
    context->threadStarted = startServerThread(context);
    if (!context->threadStarted) {
        CRSSDKLogError("Unable to start thread\n");
        CRSMachExceptionUnregister(&context->originalPorts, context->mask);
    }
}

bool CRSMachExceptionRegister(CRSMachExceptionReadOnlyContext* context) {
    mach::KernReturn status = mach::allocateReceiveRight(&context->port);
    if (status != mach::kSuccess) {
        CRSSDKLogError("Error: mach_port_allocate failed %d\n", status);
        return false;
    }
    status = mach::insertSendRight(context->port);
    if (status != mach::kSuccess) {
        CRSSDKLogError("Error: mach_port_insert_right failed %d\n", status);
        mach::deallocatePort(context->port);
        return false;
    }
    context->mask = kCRSMachExceptionMask;
    status = mach::swapExceptionPorts(context->mask, context->port, kBehavior,
                                      mach::kThreadStateNone, &context->originalPorts);
    if (status != mach::kSuccess) {
        CRSSDKLogError("Error: task_swap_exception_ports %d\n", status);
        return false;
    }
    for (std::uint32_t i = 0; i < context->originalPorts.count; ++i) {
        CRSSDKLogDebug("original 0x%x 0x%x 0x%x 0x%x\n", context->originalPorts.ports[i],
                       context->originalPorts.masks[i], context->originalPorts.behaviors[i],
                       context->originalPorts.flavors[i]);
    }
    return true;
}

bool CRSMachExceptionUnregister(const mach::ExceptionPortSlots* originalPorts, std::uint32_t mask) {
    // A damaged count must not read past the table.
    const std::uint32_t count = originalPorts->count < mach::kExceptionPortSlotCount
                                    ? originalPorts->count
                                    : mach::kExceptionPortSlotCount;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (mach::setExceptionPorts(originalPorts->masks[i], originalPorts->ports[i],
                                    originalPorts->behaviors[i],
                                    originalPorts->flavors[i]) != mach::kSuccess) {
            CRSSDKLogError("unable to restore original port: %d\n", originalPorts->ports[i]);
        }
        mask &= ~originalPorts->masks[i];
    }
    if (mask != 0 && mach::setExceptionPorts(mask, mach::kPortNull, kBehavior,
                                             mach::kThreadStateNone) != mach::kSuccess) {
        CRSSDKLogError("unable to unset unregistered mask: 0x%x\n", mask);
        return false;
    }
    return true;
}

void* CRSMachExceptionServer(void* argument) {
    auto* context = static_cast<CRSMachExceptionReadOnlyContext*>(argument);
    // Started on its own stack, so not through the product's thread launcher.
    runThreadStartHook();
    pthread_setname_np(pthread_self(),
                       kServerThreadName + sizeof kServerThreadName - 1 - kThreadNameLimit);
    alignas(8) unsigned char buffer[mach::kExceptionRequestBufferSize];
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        const mach::KernReturn received =
            mach::receive(context->port, buffer, static_cast<std::uint32_t>(sizeof buffer));
        if (received != mach::kSuccess) {
            CRSSDKLogError("Error receiving mach_msg (%d)\n", received);
            break;
        }
        mach::ExceptionRequest request;
        std::memcpy(&request, buffer, sizeof request);
        CRSSDKLogInfo("Accepted mach exception message\n");
        CRSSDKLogInfo(
            "Mach exception: 0x%x, count: %d, code: 0x%llx 0x%llx\n",
            static_cast<unsigned>(request.exception), request.codeCount,
            static_cast<unsigned long long>(request.codeCount > 0 ? request.code[0] : -1),
            static_cast<unsigned long long>(request.codeCount > 1 ? request.code[1] : -1));
        const mach::KernReturn returnCode = CRSMachExceptionDispatchMessage(context, request);

        CRSSDKLogInfo("Sending exception reply\n");
        const mach::ExceptionReply reply = CRSMachExceptionMakeReply(request, returnCode);
        const mach::KernReturn sent = mach::send(&reply, sizeof reply);
        if (sent != mach::kSuccess) {
            CRSSDKLogError("mach_msg reply failed (%d)\n", sent);
            break;
        }
        CRSSDKLogInfo("Exception reply delivered\n");
    }
    CRSSDKLogError("Mach exception server thread exiting\n");
    return nullptr;
}

mach::KernReturn CRSMachExceptionDispatchMessage(CRSMachExceptionReadOnlyContext* context,
                                                 const mach::ExceptionRequest& request) {
    if (request.task.name != mach::taskSelf()) {
        CRSSDKLogError("Mach exception task mis-match, returning failure\n");
        return mach::kFailure;
    }
    CRSSDKLogInfo("Unregistering handler\n");
    if (!CRSMachExceptionUnregister(&context->originalPorts, context->mask)) {
        CRSSDKLogError("Failed to unregister\n");
        return mach::kFailure;
    }
    CRSSDKLogInfo("Restoring original signal handlers\n");
    if (!contextPresent() || !CRSSignalSafeInstallPreexistingHandlers(&crsContext->readonly->signal,
                                                                      -1, nullptr, nullptr)) {
        CRSSDKLogError("Failed to restore signal handlers\n");
        return mach::kFailure;
    }
    CRSSDKLogInfo("Recording mach exception\n");
    return CRSMachExceptionRecord(context, request);
}

mach::KernReturn CRSMachExceptionRecord(CRSMachExceptionReadOnlyContext* context,
                                        const mach::ExceptionRequest& request) {
    if (CRSContextMarkAndCheckIfCrashed()) {
        CRSSDKLogError(
            "Error: aborting mach exception handler because crash has already occurred\n");
        // Not exit(): nothing of the damaged process may run on the way out.
        _exit(1);
    }
    CRSFile file;
    if (!CRSFileInitWithPathMode(&file, context->path, true, false)) {
        CRSSDKLogError("Unable to open mach exception file\n");
        CRSSDKLogError("Failed to record mach exception\n");
        return mach::kFailure;
    }
    writeRecord(&file, request, context);
    CRSHandler(&file, static_cast<pid_t>(request.thread.name), nullptr, true);
    CRSFileClose(&file);
    CRSContextMarkCrashRecorded();
    return mach::kSuccess;
}

mach::ExceptionReply CRSMachExceptionMakeReply(const mach::ExceptionRequest& request,
                                               mach::KernReturn returnCode) {
    mach::ExceptionReply reply{};
    reply.header.bits = request.header.bits & 0x1f;
    reply.header.size = sizeof reply;
    reply.header.remotePort = request.header.remotePort;
    reply.header.localPort = mach::kPortNull;
    reply.header.id = request.header.id + 100;
    reply.ndr = mach::ndrRecord();
    reply.returnCode = returnCode;
    return reply;
}

bool CRSMachExceptionCheckHandlers() {
    return contextPresent() && crsContext->readonly->debuggerAttached;
}

}  // namespace pex
