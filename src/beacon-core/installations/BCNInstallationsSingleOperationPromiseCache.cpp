#include "beacon-core/installations/BCNInstallationsSingleOperationPromiseCache.h"

#include "platform/foundation/Exception.h"

namespace pex {

BCNInstallationsSingleOperationPromiseCache::BCNInstallationsSingleOperationPromiseCache(
    NewOperationHandler newOperationHandler)
    : newOperationHandler_(std::move(newOperationHandler)) {
    if (!newOperationHandler_)
        throw Exception(Exception::kInvalidArgument, "`newOperationHandler` must not be `nil`.");
}

PRMPromiseRef BCNInstallationsSingleOperationPromiseCache::getExistingPendingOrCreateNewPromise() {
    std::lock_guard lock(state_->mutex);
    // A run that has just ended, whose clearing step has not run yet, is over all the same.
    if (state_->pendingPromise && state_->pendingPromise->isPending())
        return state_->pendingPromise;
    PRMPromiseRef started = newOperationHandler_();
    state_->pendingPromise = started;
    const auto clear = [weakState = std::weak_ptr<State>(state_),
                        weakStarted = std::weak_ptr<PRMPromise>(started)] {
        auto state = weakState.lock();
        if (!state) return;
        std::lock_guard clearing(state->mutex);
        // A run started after this one finished stays.
        if (state->pendingPromise == weakStarted.lock()) state->pendingPromise.reset();
    };
    // Observers never run synchronously, so this lock is released before `clear` takes it.
    started->observe(
        PRMPromise::defaultDispatchQueue(), [clear](const PRMValue&) { clear(); },
        [clear](const ErrorRef&) { clear(); });
    return started;
}

PRMPromiseRef BCNInstallationsSingleOperationPromiseCache::getExistingPendingPromise() {
    std::lock_guard lock(state_->mutex);
    if (state_->pendingPromise && state_->pendingPromise->isPending())
        return state_->pendingPromise;
    return nullptr;
}

}  // namespace pex
