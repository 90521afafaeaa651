#pragma once
// The SDK's promise: pending, then fulfilled with a value or rejected with an error, once.
// Observers name the queue they run on and never run synchronously, not even on a promise that
// is already resolved. Every piece of work the promises put on a queue, and every promise made
// pending, counts in one process-wide dispatch group, so tests can wait for all promise work.
//
// Every operation that takes a queue has a form without it that uses the default queue, read
// at the call; the default queue is the main queue until replaced. Required callables that are
// empty raise the internal-inconsistency failure "Invalid parameter not satisfying: <name>"
// (a queue cannot be missing: its type has no empty state).
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "beacon-core/PRMValue.h"
#include "platform/foundation/DispatchGroup.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Error.h"

namespace pex {

class PRMPromise : public std::enable_shared_from_this<PRMPromise> {
  public:
    // Errors made by the operators: a time-out (code 1) and a failed validation (code 2).
    static constexpr const char* kErrorDomain = "com.beacon.PRMPromises.Error";
    static constexpr std::int64_t kErrorCodeTimedOut = 1;
    static constexpr std::int64_t kErrorCodeValidationFailure = 2;

    enum class State : std::int64_t { Pending = 0, Fulfilled = 1, Rejected = 2 };

    using Fulfill = std::function<void(const PRMValue&)>;
    using Reject = std::function<void(const ErrorRef&)>;
    using ChainedFulfill = std::function<PRMValue(const PRMValue&)>;
    using ChainedReject = std::function<PRMValue(const ErrorRef&)>;
    // `async` work: receives the callables that resolve the result.
    using AsyncWork = std::function<void(Fulfill fulfill, Reject reject)>;
    using Work = std::function<PRMValue()>;
    using Predicate = std::function<bool(const PRMValue&)>;
    using Reducer = std::function<PRMValue(const PRMValue& partial, const PRMValue& item)>;
    using RetryPredicate = std::function<bool(std::int64_t retriesLeft, const ErrorRef& error)>;

    // ---- Class-wide state ----
    static DispatchQueue defaultDispatchQueue();
    static void setDefaultDispatchQueue(DispatchQueue queue);
    // The process-wide group of outstanding promise work; never replaced.
    static DispatchGroup& dispatchGroup();
    static void noop() {}

    // ---- Making promises ----
    static PRMPromiseRef pendingPromise();
    // An error resolves it as rejected; anything else (null, a value, even another promise)
    // as fulfilled with exactly that.
    static PRMPromiseRef resolvedWith(PRMValue resolution);

    virtual ~PRMPromise();
    PRMPromise(const PRMPromise&) = delete;
    PRMPromise& operator=(const PRMPromise&) = delete;

    // ---- State ----
    State state() const;
    bool isPending() const { return state() == State::Pending; }
    bool isFulfilled() const { return state() == State::Fulfilled; }
    bool isRejected() const { return state() == State::Rejected; }
    PRMValue value() const;
    ErrorRef error() const;

    // ---- Resolving (the first resolution wins; later ones do nothing) ----
    // An error value rejects; anything else fulfils, a promise included (it is not followed).
    void fulfill(PRMValue value);
    // A missing error fails the assertion "Invalid error type." and leaves the promise pending.
    void reject(ErrorRef error);
    // Keeps `object` alive until the promise is resolved; ignored once it is.
    void addPendingObject(std::shared_ptr<const void> object);

    // ---- The two primitives ----
    // Exactly one of the callables runs on `queue`, as work of the dispatch group.
    void observe(const DispatchQueue& queue, Fulfill onFulfill, Reject onReject);
    // A new pending promise (of this one's class) that follows this one through the transforms:
    // a transform's result that is a promise is followed, an error rejects, anything else
    // fulfils. A missing transform passes the value or error on unchanged.
    PRMPromiseRef chain(const DispatchQueue& queue, ChainedFulfill chainedFulfill,
                        ChainedReject chainedReject);

    // "<PRMPromise 0x...> Pending", "... Fulfilled: <value>" or "... Rejected: <error>".
    std::string description() const;
    virtual std::string className() const { return "PRMPromise"; }

    // ---- Chaining operators ----
    PRMPromiseRef then(const DispatchQueue& queue, ChainedFulfill work);
    PRMPromiseRef then(ChainedFulfill work);
    // Calls `reject` with the error and stays rejected with it.
    PRMPromiseRef catchError(const DispatchQueue& queue, Reject reject);
    PRMPromiseRef catchError(Reject reject);
    PRMPromiseRef always(const DispatchQueue& queue, std::function<void()> work);
    PRMPromiseRef always(std::function<void()> work);
    PRMPromiseRef recover(const DispatchQueue& queue, ChainedReject recovery);
    PRMPromiseRef recover(ChainedReject recovery);
    // A value for which `predicate` is false rejects with the validation error (code 2).
    PRMPromiseRef validate(const DispatchQueue& queue, Predicate predicate);
    PRMPromiseRef validate(Predicate predicate);
    // Fulfils `seconds` after this one's fulfilment is observed; a rejection passes at once.
    PRMPromiseRef delay(const DispatchQueue& queue, double seconds);
    PRMPromiseRef delay(double seconds);
    // Resolves as this one does, unless `seconds` pass first (counted from the call): then it
    // rejects with the time-out error (code 1). The timer holds the result only weakly.
    PRMPromiseRef timeout(const DispatchQueue& queue, double seconds);
    PRMPromiseRef timeout(double seconds);
    // Folds `items` through one chained step each; with no items, this promise itself.
    PRMPromiseRef reduce(const DispatchQueue& queue, const std::vector<PRMValue>& items,
                         Reducer reducer);
    PRMPromiseRef reduce(const std::vector<PRMValue>& items, Reducer reducer);

    // Runs `work` on the queue with a fulfil callable (a promise handed to it is followed) and
    // a reject callable; the first call of either wins.
    static PRMPromiseRef async(const DispatchQueue& queue, AsyncWork work);
    static PRMPromiseRef async(AsyncWork work);
    // Runs `work` on the queue; the result follows what it returns.
    static PRMPromiseRef doWork(const DispatchQueue& queue, Work work);

    // ---- Combining ----
    // Elements may be promises, errors or other values (taken as already fulfilled). Fulfilled
    // with every value in order (null as the null placeholder), or rejected with the first
    // rejection observed; an error element rejects at once without observing anything.
    static PRMPromiseRef all(const DispatchQueue& queue, std::vector<PRMValue> elements);
    static PRMPromiseRef all(std::vector<PRMValue> elements);
    // Once every element is resolved: fulfilled with the values and errors in order when at
    // least one was fulfilled, else rejected with an element's error.
    static PRMPromiseRef any(const DispatchQueue& queue, std::vector<PRMValue> elements);
    static PRMPromiseRef any(std::vector<PRMValue> elements);
    // Resolved as the first element to resolve; a non-promise element decides at once (the
    // first one in order). No elements fails "No promises to observe".
    static PRMPromiseRef race(const DispatchQueue& queue, std::vector<PRMValue> elements);
    static PRMPromiseRef race(std::vector<PRMValue> elements);

    // ---- Retry ----
    // Runs `work` at once on the calling thread; while it gives an error (or a promise that
    // rejects), `count` > 0 and `condition` (if any) agrees, runs it again on the queue after
    // `pause` seconds with one retry fewer. Fulfilled with the first non-error result, or
    // rejected with the last error.
    static PRMPromiseRef attempts(const DispatchQueue& queue, std::int64_t count, double pause,
                                  RetryPredicate condition, Work work);
    static PRMPromiseRef attempts(std::int64_t count, double pause, RetryPredicate condition,
                                  Work work);
    static PRMPromiseRef attempts(const DispatchQueue& queue, std::int64_t count, Work work);
    static PRMPromiseRef attempts(std::int64_t count, Work work);
    static PRMPromiseRef retry(const DispatchQueue& queue, Work work);
    static PRMPromiseRef retry(Work work);

    // ---- Completion-handler wrappers ----
    // Each runs `work` on the queue with a handler; what the handler receives resolves the
    // result (a non-null error rejects; numbers and Booleans are boxed; two objects become a
    // two-element array with the null placeholder for null). Later handler calls do nothing.
    using Done = std::function<void()>;
    using ObjectDone = std::function<void(PRMValue)>;
    using ErrorDone = std::function<void(ErrorRef)>;
    using ObjectOrErrorDone = std::function<void(PRMValue, ErrorRef)>;
    using ErrorOrObjectDone = std::function<void(ErrorRef, PRMValue)>;
    using TwoObjectsOrErrorDone = std::function<void(PRMValue, PRMValue, ErrorRef)>;
    using BoolDone = std::function<void(bool)>;
    using BoolOrErrorDone = std::function<void(bool, ErrorRef)>;
    using IntegerDone = std::function<void(std::int64_t)>;
    using IntegerOrErrorDone = std::function<void(std::int64_t, ErrorRef)>;
    using DoubleDone = std::function<void(double)>;
    using DoubleOrErrorDone = std::function<void(double, ErrorRef)>;
    template <typename Handler>
    using WrapWork = std::function<void(Handler handler)>;

    static PRMPromiseRef wrapCompletion(const DispatchQueue& queue, WrapWork<Done> work);
    static PRMPromiseRef wrapCompletion(WrapWork<Done> work);
    static PRMPromiseRef wrapObjectCompletion(const DispatchQueue& queue,
                                              WrapWork<ObjectDone> work);
    static PRMPromiseRef wrapObjectCompletion(WrapWork<ObjectDone> work);
    static PRMPromiseRef wrapErrorCompletion(const DispatchQueue& queue, WrapWork<ErrorDone> work);
    static PRMPromiseRef wrapErrorCompletion(WrapWork<ErrorDone> work);
    static PRMPromiseRef wrapObjectOrErrorCompletion(const DispatchQueue& queue,
                                                     WrapWork<ObjectOrErrorDone> work);
    static PRMPromiseRef wrapObjectOrErrorCompletion(WrapWork<ObjectOrErrorDone> work);
    static PRMPromiseRef wrapErrorOrObjectCompletion(const DispatchQueue& queue,
                                                     WrapWork<ErrorOrObjectDone> work);
    static PRMPromiseRef wrapErrorOrObjectCompletion(WrapWork<ErrorOrObjectDone> work);
    static PRMPromiseRef wrap2ObjectsOrErrorCompletion(const DispatchQueue& queue,
                                                       WrapWork<TwoObjectsOrErrorDone> work);
    static PRMPromiseRef wrap2ObjectsOrErrorCompletion(WrapWork<TwoObjectsOrErrorDone> work);
    static PRMPromiseRef wrapBoolCompletion(const DispatchQueue& queue, WrapWork<BoolDone> work);
    static PRMPromiseRef wrapBoolCompletion(WrapWork<BoolDone> work);
    static PRMPromiseRef wrapBoolOrErrorCompletion(const DispatchQueue& queue,
                                                   WrapWork<BoolOrErrorDone> work);
    static PRMPromiseRef wrapBoolOrErrorCompletion(WrapWork<BoolOrErrorDone> work);
    static PRMPromiseRef wrapIntegerCompletion(const DispatchQueue& queue,
                                               WrapWork<IntegerDone> work);
    static PRMPromiseRef wrapIntegerCompletion(WrapWork<IntegerDone> work);
    static PRMPromiseRef wrapIntegerOrErrorCompletion(const DispatchQueue& queue,
                                                      WrapWork<IntegerOrErrorDone> work);
    static PRMPromiseRef wrapIntegerOrErrorCompletion(WrapWork<IntegerOrErrorDone> work);
    static PRMPromiseRef wrapDoubleCompletion(const DispatchQueue& queue,
                                              WrapWork<DoubleDone> work);
    static PRMPromiseRef wrapDoubleCompletion(WrapWork<DoubleDone> work);
    static PRMPromiseRef wrapDoubleOrErrorCompletion(const DispatchQueue& queue,
                                                     WrapWork<DoubleOrErrorDone> work);
    static PRMPromiseRef wrapDoubleOrErrorCompletion(WrapWork<DoubleOrErrorDone> work);

    // The queue whose work will resolve this promise, when an operator made it; a synchronous
    // wait from that queue could never end.
    std::optional<DispatchQueue> resolvingQueue() const { return resolvingQueue_; }

  protected:
    struct PendingTag {};
    explicit PRMPromise(PendingTag);                  // pending; counts in the dispatch group
    explicit PRMPromise(const PRMValue& resolution);  // resolved; never counts
    // A new pending promise of this one's class, for the instance operators' results.
    virtual PRMPromiseRef makePending() const;

  private:
    friend PRMValue PRMPromiseAwait(const PRMPromiseRef& promise, ErrorRef* outError);
    // Notes, on an operator's fresh result, the queue that resolves it and the promise it
    // waits for; called before the result is shared.
    void madeBy(const DispatchQueue& queue, const PRMPromiseRef& upstream);
    // Resolves `promise` from `resolution`: a promise is followed on `queue`, anything else is
    // handed to `fulfill`.
    static void resolveFollowing(const PRMPromiseRef& promise, const DispatchQueue& queue,
                                 const PRMValue& resolution);
    void resolve(State state, PRMValue value, ErrorRef error);

    using Observer = std::function<void(State, const PRMValue&, const ErrorRef&)>;

    mutable std::recursive_mutex mutex_;
    State state_ = State::Pending;
    std::unique_ptr<std::vector<std::shared_ptr<const void>>> pendingObjects_;
    PRMValue value_;
    ErrorRef error_;
    std::unique_ptr<std::vector<Observer>> observers_;
    std::optional<DispatchQueue> resolvingQueue_;
    std::weak_ptr<PRMPromise> upstream_;
};

// The values of fulfilled promises (the null placeholder for null) and the errors of rejected
// ones, in order. None may be pending (precondition "!promise.isPending").
PRMValue PRMPromiseCombineValuesAndErrors(const std::vector<PRMPromiseRef>& promises);

// Blocks until `promise` is resolved; gives its value (null when rejected) and stores its error
// (null when fulfilled) in `outError` when given. Called from the queue whose work would
// resolve it, it raises the internal-inconsistency failure instead of waiting forever.
PRMValue PRMPromiseAwait(const PRMPromiseRef& promise, ErrorRef* outError = nullptr);

// For tests: true once every pending promise is resolved and all promise work has run, within
// `timeout` seconds; on the main thread the main queue's run loop turns meanwhile.
bool PRMPromiseWaitForAll(double timeout);

}  // namespace pex
