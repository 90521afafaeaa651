#pragma once
// The threads behind every serial and concurrent queue. Queues do not own threads: they hand
// the pool short "drain" jobs, and idle pool threads serve whichever queue has work, higher
// qualities of service first. A thread is started only when a job finds none idle (work that
// blocks therefore never starves the others), and an idle thread ends after a short linger.
//
// Before the process ends the pool is stopped (see BackgroundThreads.h): it finishes what it
// was given, then its threads end and are joined, so none of them runs while static objects are
// destroyed. Jobs handed to a stopped pool are kept and never run.
#include <chrono>
#include <cstddef>
#include <functional>

namespace pex {

// Qualities of service, lowest first; the pool serves higher ones first.
enum class QualityOfService { Background, Utility, Default, UserInitiated, UserInteractive };

class WorkerPool {
  public:
    using Job = std::function<void()>;
    using Deadline = std::chrono::steady_clock::time_point;

    // The process's one pool; never destroyed, as jobs may be submitted while the process exits.
    static WorkerPool& shared();

    void submit(Job job, QualityOfService qos);

    // Waits until no job is queued or running, then ends every thread of the pool and joins it;
    // from then on jobs are kept and never run. False, with the pool still running, when work
    // was still under way at `deadline`. Not for the pool's own threads.
    bool stop(Deadline deadline);
    bool isStopped() const;

    // Threads alive now (busy or idle): for tests and benchmarks.
    std::size_t threadCount() const;

    WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

  private:
    struct State;
    State* state_;  // never freed: the shared pool lives as long as the process
};

}  // namespace pex
