#pragma once
// Lets concurrent callers of one operation share one run of it: while the operation's promise
// is pending, every caller receives that promise; once it is resolved, the next caller starts
// a new run. Safe from any thread.
#include <functional>
#include <memory>
#include <mutex>

#include "beacon-core/PRMPromise.h"

namespace pex {

class BCNInstallationsSingleOperationPromiseCache {
  public:
    using NewOperationHandler = std::function<PRMPromiseRef()>;

    // Raises the invalid-argument failure when `newOperationHandler` is empty.
    explicit BCNInstallationsSingleOperationPromiseCache(NewOperationHandler newOperationHandler);

    // The running operation's promise, or the promise of a new run started now.
    PRMPromiseRef getExistingPendingOrCreateNewPromise();
    // The running operation's promise; null when none runs.
    PRMPromiseRef getExistingPendingPromise();

  private:
    // Shared with the clearing steps, which may run after the cache is gone.
    struct State {
        std::mutex mutex;
        PRMPromiseRef pendingPromise;
    };

    const NewOperationHandler newOperationHandler_;
    const std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace pex
