#include "crashreporter/network/CRSOperationQueue.h"

#include <algorithm>

namespace pex {

CRSOperationQueue::CRSOperationQueue(std::string label)
    : queue_(DispatchQueue::concurrent(std::move(label))) {}

void CRSOperationQueue::addOperation(const std::shared_ptr<CRSBaseAsyncOperation>& operation) {
    {
        std::lock_guard lock(state_->mutex);
        state_->operations.push_back(operation);
    }
    // The queue forgets an operation once it reports itself finished.
    operation->addStateObserver([weakState = std::weak_ptr<State>(state_), raw = operation.get()](
                                    const std::string& key, bool didChange) {
        if (key != "isFinished" || !didChange) return;
        if (auto state = weakState.lock()) {
            std::lock_guard lock(state->mutex);
            auto& list = state->operations;
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [raw](const auto& held) { return held.get() == raw; }),
                       list.end());
        }
    });
    queue_.async([operation] {
        if (!operation->isFinished()) operation->start();
    });
}

std::vector<std::shared_ptr<CRSBaseAsyncOperation>> CRSOperationQueue::operations() const {
    std::lock_guard lock(state_->mutex);
    return state_->operations;
}

std::size_t CRSOperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->operations.size();
}

void CRSOperationQueue::cancelAllOperations() {
    for (const auto& operation : operations()) operation->cancel();
}

}  // namespace pex
