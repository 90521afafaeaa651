#include "crashreporter/network/CRSBaseAsyncOperation.h"

#include "platform/foundation/DispatchQueue.h"

namespace pex {

CRSBaseAsyncOperation::CRSBaseAsyncOperation(const std::string& className)
    : name_(className), lockName_("com.beacon.crashreporter." + className + "-lock") {}

bool CRSBaseAsyncOperation::isExecuting() const {
    std::lock_guard guard(lock_);
    return internalExecuting_;
}

bool CRSBaseAsyncOperation::isFinished() const {
    std::lock_guard guard(lock_);
    return internalFinished_;
}

void CRSBaseAsyncOperation::start() {
    if (checkForCancellation()) return;
    markStarted();
    main();
}

void CRSBaseAsyncOperation::cancel() {
    cancelled_.store(true);
}

void CRSBaseAsyncOperation::finishWithError(const ErrorRef& error) {
    if (const AsyncCompletion completion = asyncCompletion()) completion(error);
    markDone();
}

CRSBaseAsyncOperation::AsyncCompletion CRSBaseAsyncOperation::asyncCompletion() const {
    std::lock_guard guard(lock_);
    return asyncCompletion_;
}

void CRSBaseAsyncOperation::setAsyncCompletion(AsyncCompletion completion) {
    std::lock_guard guard(lock_);
    asyncCompletion_ = std::move(completion);
}

std::function<void()> CRSBaseAsyncOperation::completionBlock() const {
    std::lock_guard guard(lock_);
    return completionBlock_;
}

void CRSBaseAsyncOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard guard(lock_);
    completionBlock_ = std::move(block);
}

void CRSBaseAsyncOperation::addStateObserver(StateObserver observer) {
    std::lock_guard guard(lock_);
    observers_.push_back(std::move(observer));
}

bool CRSBaseAsyncOperation::checkForCancellation() {
    if (!isCancelled()) return false;
    markDone();
    return true;
}

void CRSBaseAsyncOperation::markStarted() {
    lock([this] { unlockedMarkStarted(); });
}

void CRSBaseAsyncOperation::markDone() {
    bool becameFinished = false;
    lock([&] {
        if (internalFinished_) return;  // the finished state is final
        unlockedMarkComplete();
        unlockedMarkFinished();
        becameFinished = true;
    });
    if (!becameFinished) return;
    if (auto block = completionBlock()) {
        // Completion blocks wait on queues of their own; they never run on the finishing
        // thread's stack.
        DispatchQueue::global().async(std::move(block));
    }
}

void CRSBaseAsyncOperation::changeValueForKey(const std::string& key,
                                              const std::function<void()>& block) {
    for (const auto& observer : observers_) observer(key, false);
    block();
    for (const auto& observer : observers_) observer(key, true);
}

void CRSBaseAsyncOperation::lock(const std::function<void()>& block) const {
    std::lock_guard guard(lock_);
    block();
}

void CRSBaseAsyncOperation::unlockedMarkStarted() {
    changeValueForKey("isExecuting", [this] { internalExecuting_ = true; });
}

void CRSBaseAsyncOperation::unlockedMarkComplete() {
    changeValueForKey("isExecuting", [this] { internalExecuting_ = false; });
}

void CRSBaseAsyncOperation::unlockedMarkFinished() {
    changeValueForKey("isFinished", [this] { internalFinished_ = true; });
}

}  // namespace pex
