#pragma once
// The main queue is the application's one UI thread. What drives it is pluggable: in the
// application, Qt's event loop (see platform/appkit/QtMainQueueDriver.h); in plain C++ programs
// and tests, a run loop of ours that the main thread runs with the functions below.
#include <chrono>
#include <functional>

namespace pex {

class MainQueue {
  public:
    using Work = std::function<void()>;
    // Something that runs posted work on the main thread, in order, never inline.
    using Driver = std::function<void(Work)>;

    // Marks the calling thread as the main thread. Called once, early, by `main()`; without it
    // the main thread is the one that started the process (static initialisation runs there).
    static void adoptCurrentThreadAsMain();
    static bool isMainThread();

    // Installs or clears (nullptr) the driver; work already queued on the run loop moves over.
    static void setDriver(Driver driver);

    // Run-loop mode (no driver installed): run queued main-queue work on the calling thread,
    // which must be the main thread (asserted in debug builds). Work may turn the loop again.
    // Runs until `done()` is true or `timeout` passes; returns done().
    static bool runUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Runs everything queued now, and what that work queues in turn; returns the items run.
    static std::size_t drain();
    // Runs until `stop()` is called from a work item.
    static void run();
    static void stop();

    // Used by DispatchQueue::main(); not for direct use.
    static void post(Work work);
};

// Debug builds abort with a message when called off the main thread; release builds do nothing.
void assertMainThread(const char* where = "");

}  // namespace pex
