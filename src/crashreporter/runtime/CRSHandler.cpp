#include "crashreporter/runtime/CRSHandler.h"

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSHost.h"
#include "crashreporter/runtime/CRSProcess.h"
#include "crashreporter/runtime/CRSProcessStats.h"

namespace pex {

void CRSHandler(CRSFile* file, pid_t crashedThread, const ucontext_t* context, bool suspend,
                const CRSCrashedThreadState* state) {
    // On the handler's stack: a crash may have damaged the heap.
    CRSProcess process;
    CRSProcessInit(&process, crashedThread, context);
    process.crashedState = state;
    if (suspend) CRSProcessSuspendAllOtherThreads(&process);
    CRSProcessFindThreadStacks(&process);
    CRSProcessRecordAllThreads(&process, file);
    CRSProcessRecordRuntimeInfo(&process, file);
    CRSProcessRecordDispatchQueueNames(&process, file);
    CRSProcessRecordThreadNames(&process, file);
    CRSProcessRecordStats(file);
    CRSHostWriteDiskUsage(file);
    CRSCreateCrashedMarkerFile();
    // Threads that did stop are released even when some others did not.
    if (suspend) CRSProcessResumeAllOtherThreads(&process);
}

}  // namespace pex
