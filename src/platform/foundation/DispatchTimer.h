#pragma once
// A repeating timer that runs its handler on a queue, timed by the current Clock.
#include <functional>
#include <memory>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class DispatchTimer {
  public:
    DispatchTimer(DispatchQueue queue, Clock::Duration interval, std::function<void()> handler);
    ~DispatchTimer();  // cancels
    DispatchTimer(const DispatchTimer&) = delete;
    DispatchTimer& operator=(const DispatchTimer&) = delete;

    // First fire one interval after resume; later fires keep to the grid start + n × interval.
    // Each tick posts one handler run to the queue; ticks missed while the machine stalled are
    // skipped rather than made up. Resuming a running timer does nothing; resuming a cancelled
    // one starts a new grid.
    void resume();
    // No handler runs after cancel returns: a run in progress on another thread is waited for
    // (a handler that cancels its own timer is not).
    void cancel();
    bool isRunning() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace pex
