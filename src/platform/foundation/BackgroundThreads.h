#pragma once
// The end of the threads the product runs beside the main thread. Once `main` returns, the
// process destroys its static objects; a thread still at work then uses objects that are going
// away, and the process may crash on its way out. So `main` stops them all first, in an order
// that lets work already under way finish:
//   1. each thread registered with `atStop` is ended by its owner (a watcher that would
//      otherwise go on for ever);
//   2. every URL session cancels its transfers (their handlers hear Cancelled), and its worker
//      thread ends;
//   3. time runs out: every delay and time-out of the clock is over at once (see
//      SystemClock::runOut), so no work stays waiting for one;
//   4. the queues finish what they hold, and the worker pool's threads end;
//   5. the clock's scheduler thread ends.
// Work handed to a queue afterwards never runs, and `sync` runs its work on the caller's thread.
// Work on the main queue does not run: the application's loop has ended.
#include <chrono>
#include <cstdint>
#include <functional>

namespace pex {

class BackgroundThreads {
  public:
    // Keeps a stop registered for as long as it lives.
    class Registration {
      public:
        Registration() = default;
        explicit Registration(std::uint64_t id) : id_(id) {}
        Registration(Registration&& other) noexcept;
        Registration& operator=(Registration&& other) noexcept;
        ~Registration();

      private:
        void drop();
        std::uint64_t id_ = 0;
    };

    // `stop` ends a thread of the caller's own and returns once it has ended. It runs in step
    // 1, on the thread that stops them all, while registrations wait: it may not register or
    // drop one itself.
    [[nodiscard]] static Registration atStop(std::function<void()> stop);

    // Stops every thread as above, within `bound`, and returns true. False when work was still
    // running at the bound: the threads then run on, and the process must end without
    // destroying its static objects (std::_Exit). For the end of `main`, on the main thread.
    static bool stopAll(std::chrono::milliseconds bound);
};

}  // namespace pex
