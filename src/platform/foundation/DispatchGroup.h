#pragma once
// Tracks a set of work items; notifies a queue when all have left.
#include <chrono>
#include <functional>
#include <memory>

#include "platform/foundation/DispatchQueue.h"

namespace pex {

class DispatchGroup {
  public:
    DispatchGroup();
    void enter();
    void leave();
    // Runs `work` on `queue` once the count is zero (at once, via the queue, if it is zero now).
    void notify(const DispatchQueue& queue, std::function<void()> work);
    // Blocks until the count is zero; false on timeout.
    bool wait(std::chrono::milliseconds timeout);
    // Submits `work` to `queue` inside the group.
    void async(const DispatchQueue& queue, std::function<void()> work);

  private:
    struct State;
    std::shared_ptr<State> state_;
};

class DispatchSemaphore {
  public:
    explicit DispatchSemaphore(long value = 0);
    ~DispatchSemaphore();
    void signal();
    // False on timeout.
    bool wait(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pex
