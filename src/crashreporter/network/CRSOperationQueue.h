#pragma once
// Runs asynchronous operations side by side: each added operation is started on a concurrent
// dispatch queue and counts as queued until it has finished. Cancelling the queue cancels every
// operation it still holds; each ends through its own cancellation.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "crashreporter/network/CRSBaseAsyncOperation.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class CRSOperationQueue {
  public:
    explicit CRSOperationQueue(std::string label);
    CRSOperationQueue(const CRSOperationQueue&) = delete;
    CRSOperationQueue& operator=(const CRSOperationQueue&) = delete;

    // Starts `operation` soon (never on the caller's stack); it leaves the queue when finished.
    void addOperation(const std::shared_ptr<CRSBaseAsyncOperation>& operation);
    // The operations added and not yet finished.
    std::vector<std::shared_ptr<CRSBaseAsyncOperation>> operations() const;
    std::size_t operationCount() const;
    void cancelAllOperations();

  private:
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<CRSBaseAsyncOperation>> operations;
    };

    const DispatchQueue queue_;
    const std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace pex
