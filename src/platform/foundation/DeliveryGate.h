#pragma once
// Guards a callback that other threads may be running: once `close` has returned, the callback
// is running nowhere, except further up the closing thread's own stack (a callback that
// switches itself off). Callers that destroy what the callback touches right after switching
// it off rely on this.
//
// A callback that waits for a thread which is itself closing this gate deadlocks, as any wait
// for a lock holder would; keep callbacks from waiting on their removers.
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace pex {

class DeliveryGate {
  public:
    // A run of the callback, admitted or not; leaves the gate when it goes.
    class Pass {
      public:
        explicit Pass(DeliveryGate& gate) : gate_(gate.enter() ? &gate : nullptr) {}
        ~Pass() {
            if (gate_) gate_->leave();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return gate_ != nullptr; }

      private:
        DeliveryGate* gate_;
    };

    // True when the callback may run now; `leave` must follow its run.
    bool enter();
    void leave();
    // Admits no further run and waits for the runs in flight on other threads.
    void close();
    // Admits runs again (a timer resumed after a cancel).
    void open();

  private:
    std::mutex mutex_;
    std::condition_variable left_;
    bool open_ = true;
    std::vector<std::thread::id> inside_;  // one entry per run in flight
};

}  // namespace pex
