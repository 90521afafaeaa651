#pragma once
// An operation queue in the platform's sense, as small as its callers need: work items added
// to it run on a dispatch queue, at most a set number of them at once, started in the order
// they were added. With a limit of one the queue is serial (the crash reporter's work queue);
// without a limit its items run side by side. A handle is a cheap shared reference; items
// already added run even when the last handle is dropped.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/DispatchQueue.h"

namespace pex {

class OperationQueue {
  public:
    using Work = std::function<void()>;
    // No limit: every added item may start at once.
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;

    // `underlyingQueue` is where the items run; by default a concurrent queue of the queue's
    // own, labelled with its name. A limit below one (other than the default) counts as one.
    explicit OperationQueue(std::string name = {},
                            int maxConcurrentOperationCount = kDefaultMaxConcurrentOperationCount,
                            std::optional<DispatchQueue> underlyingQueue = std::nullopt);

    const std::string& name() const;
    int maxConcurrentOperationCount() const;

    // Never runs `work` on the caller's stack.
    void addOperation(Work work) const;
    // Items added and not yet finished (running or waiting for their turn).
    std::size_t operationCount() const;

  private:
    struct State;
    // Starts waiting items while the limit allows; each one, once done, makes room for the next.
    static void startWaiting(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
};

}  // namespace pex
