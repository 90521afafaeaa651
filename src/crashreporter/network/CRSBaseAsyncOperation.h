#pragma once
// An operation whose work ends later than `main` returns (a network request, say). It keeps
// its own executing and finished flags, tells observers when they change ("isExecuting",
// "isFinished"), and ends through `finishWithError`, which any thread may call.
//
//   created ──start──▶ executing ──finishWithError──▶ finished
//      └──────────── cancelled before start ─────────────┘
//
// Subclasses put their work in `main` and end it with `finishWithError`.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"

namespace pex {

class CRSBaseAsyncOperation : public std::enable_shared_from_this<CRSBaseAsyncOperation> {
  public:
    using AsyncCompletion = std::function<void(const ErrorRef& error)>;
    // Called before (`didChange` false) and after (true) a flag changes.
    using StateObserver = std::function<void(const std::string& key, bool didChange)>;

    // `className` names the lock ("com.beacon.crashreporter.<className>-lock").
    explicit CRSBaseAsyncOperation(const std::string& className);
    virtual ~CRSBaseAsyncOperation() = default;
    CRSBaseAsyncOperation(const CRSBaseAsyncOperation&) = delete;
    CRSBaseAsyncOperation& operator=(const CRSBaseAsyncOperation&) = delete;

    bool isConcurrent() const { return true; }
    bool isAsynchronous() const { return true; }
    bool isExecuting() const;
    bool isFinished() const;
    bool isCancelled() const { return cancelled_.load(); }

    // Finishes at once when cancelled; otherwise marks the operation executing and runs
    // `main` on the calling thread.
    virtual void start();
    // Marks the operation cancelled; work already running decides itself when to stop.
    virtual void cancel();
    // Calls the asynchronous completion (if any) with `error`, then marks the operation done.
    void finishWithError(const ErrorRef& error);

    AsyncCompletion asyncCompletion() const;
    void setAsyncCompletion(AsyncCompletion completion);
    // Runs once, on the global queue, after the operation has become finished.
    std::function<void()> completionBlock() const;
    void setCompletionBlock(std::function<void()> block);
    void addStateObserver(StateObserver observer);

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& lockName() const { return lockName_; }

  protected:
    virtual void main() = 0;

    // Marks a cancelled operation done and says so.
    bool checkForCancellation();
    void markStarted();
    void markDone();
    void changeValueForKey(const std::string& key, const std::function<void()>& block);
    void lock(const std::function<void()>& block) const;

  private:
    void unlockedMarkStarted();
    void unlockedMarkComplete();
    void unlockedMarkFinished();

    std::string name_;
    const std::string lockName_;
    mutable std::recursive_mutex lock_;
    bool internalExecuting_ = false;
    bool internalFinished_ = false;
    std::atomic<bool> cancelled_{false};
    AsyncCompletion asyncCompletion_;
    std::function<void()> completionBlock_;
    std::vector<StateObserver> observers_;
};

}  // namespace pex
