#pragma once
// One injectable clock for everything time-based: queues' delayed work, timers, the session
// clock. Production uses SystemClock; tests install a ManualClock and advance it by hand, so
// an hour of session time runs in milliseconds without sleeping.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace pex {

class SystemClock;

class Clock {
  public:
    using Duration = std::chrono::nanoseconds;
    using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;
    using TimerId = std::uint64_t;

    virtual ~Clock() = default;

    // Monotonic: stands still while the machine sleeps, as timers do.
    virtual TimePoint now() const = 0;
    // Runs on while the machine sleeps, on the same scale as `now()` (its zero is another one):
    // for how long the user was away, where a night of sleep must count.
    virtual TimePoint nowIncludingSleep() const { return now(); }

    // Calls `fire` once `deadline` has been reached on this clock. SystemClock calls it on its
    // own scheduler thread; ManualClock calls it from `advance`, on the advancing thread.
    // `fire` must be quick: it normally just posts work to a queue.
    virtual TimerId schedule(TimePoint deadline, std::function<void()> fire) = 0;

    // Forgets a scheduled call; a call that is already running is not waited for.
    virtual void cancel(TimerId id) = 0;

    // The clock the process uses (a SystemClock until another is installed). Installing a new
    // one does not move timers already scheduled; nullptr puts the SystemClock back.
    static std::shared_ptr<Clock> current();
    static void setCurrent(std::shared_ptr<Clock> clock);
    // The process's SystemClock: what `current()` gives when no other clock is installed.
    static std::shared_ptr<SystemClock> system();
};

// Monotonic time (not the wall clock) with one scheduler thread, started on first use; the
// time including sleep is the time since boot.
class SystemClock : public Clock {
  public:
    SystemClock();
    ~SystemClock() override;  // stops the scheduler thread; pending calls never fire
    // For the end of the process, when every delay and time-out is over: pending calls fire now,
    // in deadline order, and so does each call scheduled afterwards, except one scheduled by a
    // firing call (a repeating timer's next tick), which is dropped.
    void runOut();
    // Ends the scheduler thread and joins it (unless called from one of its calls): pending
    // calls never fire, and calls scheduled afterwards are dropped.
    void stop();
    SystemClock(const SystemClock&) = delete;
    SystemClock& operator=(const SystemClock&) = delete;
    TimePoint now() const override;
    TimePoint nowIncludingSleep() const override;
    TimerId schedule(TimePoint deadline, std::function<void()> fire) override;
    void cancel(TimerId id) override;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// Time moves only when a test calls `advance`; due calls fire in deadline order, and calls
// scheduled by a firing call inside the advanced window fire in the same `advance`. While a call
// fires, `now()` reads its deadline. Time starts at a fixed, non-zero point.
class ManualClock : public Clock {
  public:
    ManualClock();
    ~ManualClock() override;
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;
    TimePoint now() const override;
    TimePoint nowIncludingSleep() const override;
    TimerId schedule(TimePoint deadline, std::function<void()> fire) override;
    void cancel(TimerId id) override;
    // Negative durations are ignored: time never runs backwards.
    void advance(Duration by);
    // The machine sleeps for `by`: `now()` and timers stand still, `nowIncludingSleep()` moves.
    void suspend(Duration by);
    std::size_t pendingCount() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Installs a ManualClock for the lifetime of this object, then restores the previous clock.
class ScopedManualClock {
  public:
    ScopedManualClock();
    ~ScopedManualClock();
    ScopedManualClock(const ScopedManualClock&) = delete;
    ScopedManualClock& operator=(const ScopedManualClock&) = delete;
    ManualClock& clock() { return *manual_; }

  private:
    std::shared_ptr<ManualClock> manual_;
    std::shared_ptr<Clock> previous_;
};

}  // namespace pex
