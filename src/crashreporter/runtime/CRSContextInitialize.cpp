#include "crashreporter/runtime/CRSContextInitialize.h"

#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSContextMetadata.h"
#include "crashreporter/runtime/CRSException.h"
#include "crashreporter/runtime/CRSMachException.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSSignal.h"
#include "crashreporter/runtime/CRSThreadSignalStacks.h"
#include "crashreporter/runtime/CRSThreadStacks.h"
#include "crashreporter/runtime/CRSUserLogging.h"
#include "platform/foundation/DispatchGroup.h"
#include "platform/foundation/ThreadStartHook.h"

namespace pex {

namespace {

// What each thread of the product's own does as it starts.
void prepareProductThread() {
    CRSSignalInstallThreadAltStack();
    CRSThreadStacksNoteCurrentThread();
}

}  // namespace

PRMPromiseRef CRSContextInitialize(const CRSContextInitData& initData, const Bundle& bundle) {
    if (!CRSContextAllocate() || !initData.rootPath) return nullptr;
    const std::string rootPath = *initData.rootPath;
    CRSContextSetRootPath(rootPath.c_str());
    const bool debugger = CRSProcessDebuggerAttached();
    CRSContextSetDebuggerAttached(debugger);
    CRSSignalReadOnlyContext* signal = &crsContext->readonly->signal;
    CRSExceptionReadOnlyContext* exception = &crsContext->readonly->exception;
    exception->maxCustomExceptions =
        initData.customExceptionsEnabled ? initData.maxCustomExceptions : 0;
    if (!debugger) {
        // Alternate stacks are per thread: this one here, threads started from now on as they
        // start (the hook is in place before the others are listed, so none is missed between).
        CRSSignalInstallAltStack(signal);
        CRSThreadStacksNoteCurrentThread();
        setThreadStartHook(prepareProductThread);
    }

    PRMPromiseRef promise = PRMPromise::pendingPromise();
    DispatchGroup group;
    const DispatchQueue global = DispatchQueue::global();
    group.async(global, [] { CRSContextInitializeHost(); });
    group.async(global, [] {
        CRSBinaryImageInit();
        CRSBinaryImageQueue().sync([] {});
        // Libraries loaded from now on, by the product or by the libraries it uses.
        CRSBinaryImageStartWatching();
    });
    group.async(global, [initData] {
        CRSContextSetPreviouslyCrashedRootPath(
            initData.previouslyCrashedFileRootPath.value_or(*initData.rootPath).c_str());
    });
    if (debugger) {
        CRSSDKLogWarn("Debugger present - not installing handlers\n");
    } else {
        group.async(global, [signal] { CRSSignalInitialize(signal); });
        // The threads that exist already.
        group.async(global, [] {
            CRSThreadSignalStacksGiveExistingThreads(kCRSThreadStackRequestTimeout);
        });
        // The custom-exception count is zeroed by the user-logging set-up below, which runs
        // beside this one.
        group.async(global, [exception] { CRSExceptionInitialize(exception, nullptr); });
        // Registers nothing where the system has no exception ports (it logs that it could not).
        group.async(global, [] { CRSMachExceptionInit(&crsContext->readonly->machException); });
    }
    group.async(global, [rootPath, initData] {
        CRSReadWriteContext* writable = crsContext->writable;
        CRSUserLoggingInitStorages(&crsContext->readonly->logging, rootPath.c_str(), initData,
                                   &writable->logging, &writable->errorsCount,
                                   &writable->customExceptionCount);
    });
    group.async(global, [rootPath, initData, bundle] {
        if (!CRSContextRecordMetadata(rootPath.c_str(), initData, bundle)) {
            CRSSDKLogWarn("Unable to record context metadata\n");
        }
    });
    group.notify(global, [promise] {
        CRSContextCompleteInitialization();
        promise->fulfill(PRMValue());
    });
    return promise;
}

}  // namespace pex
