#pragma once
// Builds the crash context for this launch's report: the guarded records, the paths, the host
// facts, image tracking, the signal handlers (not under a debugger) and the metadata file.
#include "beacon-core/PRMPromise.h"
#include "crashreporter/runtime/CRSContextInitData.h"
#include "platform/foundation/Bundle.h"

namespace pex {

// Call on the main thread: it receives the reserved alternate signal stack. The promise is
// fulfilled (with nothing) once the context is complete and protected; nothing when the init
// data has no root path (the records are allocated all the same).
PRMPromiseRef CRSContextInitialize(const CRSContextInitData& initData,
                                   const Bundle& bundle = Bundle::main());

}  // namespace pex
