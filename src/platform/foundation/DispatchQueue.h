#pragma once
// Dispatch queues in the platform's sense: serial and concurrent queues with labels and a
// quality of service, the main queue, and global concurrent queues. Work is never run inline by
// `async`/`asyncAfter`. Serial and concurrent queues own no thread: they run on the shared
// WorkerPool. A queue handle is a cheap shared reference; dropping the last handle (even from
// inside one of the queue's own work items) lets the queue finish what was already submitted
// and then go away.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/foundation/Clock.h"
#include "platform/foundation/WorkerPool.h"

namespace pex {

// Thrown by `DispatchQueue::sync` when the wait could never end (the caller is the queue).
class DispatchDeadlock : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

class DispatchQueue {
  public:
    using Work = std::function<void()>;
    enum class Kind { Serial, Concurrent, Main };

    // A new serial queue with its own label.
    static DispatchQueue serial(std::string label,
                                QualityOfService qos = QualityOfService::Default);
    // A new concurrent queue: work items run side by side, barriers run alone.
    static DispatchQueue concurrent(std::string label,
                                    QualityOfService qos = QualityOfService::Default);
    // The application's one UI queue, labelled "main" (see MainQueue.h for what drives it).
    static DispatchQueue main();
    // The shared concurrent queue for background work, labelled "global". Concurrent queues
    // run at most max(4, cores) items at once; items that block on one another beyond that wait.
    // One per quality of service; the others are labelled "global.background" and so on.
    static DispatchQueue global(QualityOfService qos = QualityOfService::Default);

    const std::string& label() const;
    Kind kind() const;
    QualityOfService qos() const;

    void async(Work work) const;
    // Runs `work` after `delay` on the current Clock: when the clock reaches the deadline the
    // item is posted to this queue (a delay of zero or less is a plain async). A pending item
    // keeps the queue alive until it has run.
    void asyncAfter(Clock::Duration delay, Work work) const;
    // Runs `work` on the queue and waits for it. An exception thrown by `work` is rethrown to
    // the caller. Called from the serial queue's own work (or on the main thread for the main
    // queue) the wait could never end, so it throws DispatchDeadlock naming the queue instead.
    void sync(const Work& work) const;
    // On a concurrent queue: waits for the items before it, runs alone, then lets later items run.
    // On a serial queue it is a plain async.
    void asyncBarrier(Work work) const;

    // True when the calling thread is running one of this queue's work items.
    bool isCurrent() const;
    // The label of the queue running the calling thread's current item; "main" on the main
    // thread outside other queues' items; "" on any other thread.
    static std::string currentLabel();

    bool operator==(const DispatchQueue& other) const { return impl_ == other.impl_; }

    struct Impl;
    explicit DispatchQueue(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

  private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace pex
