#pragma once
// The one clock of a running interview session. Once a second it counts the elapsed seconds
// and reports them; every ten seconds it calls the billing callback; at each point of the
// speech token's lifetime it calls the token callback. It knows nothing of billing or tokens:
// it calls whatever callbacks are installed at the moment. Main thread only.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/foundation/DispatchTimer.h"

namespace pex {

class TimerManager {
  public:
    static constexpr std::int64_t kDefaultExpiresTime = 480;
    static constexpr std::int64_t kBillingPeriod = 10;

    // The one clock, there from first use and never released.
    static TimerManager& shared();

    TimerManager() = default;
    virtual ~TimerManager() = default;
    TimerManager(const TimerManager&) = delete;
    TimerManager& operator=(const TimerManager&) = delete;

    // Starts counting from zero on the main queue: restarts a running clock, resets the token
    // period to 480 s from second 0, and keeps the installed callbacks.
    virtual void start();
    // Stops counting and resets the counters; the callbacks stay installed.
    virtual void stop();
    // One second of the clock; called by the timer.
    virtual void tick();

    bool isRunning() const { return timer != nullptr; }

    // Fields assigned directly by their owners (each owner captures itself weakly).
    std::unique_ptr<DispatchTimer> timer;
    std::int64_t elapsedSeconds = 0;
    std::function<void(std::int64_t)> onTick;
    std::function<void()> onBillingUpdate;
    std::function<void()> onTokenRefresh;
    // Token refresh period in seconds, counted from `oldExpiresTime`. A period of 0 or less is
    // no period: the token callback is then not called.
    std::int64_t expiresTime = kDefaultExpiresTime;
    std::int64_t oldExpiresTime = 0;

  private:
    void resetCounters();
};

}  // namespace pex
