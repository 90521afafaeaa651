// Combining several promises into one, retrying failing work, and waiting for a promise.
#include <atomic>

#include "beacon-core/PRMPromise.h"
#include "beacon-core/PRMPromiseTiming.h"
#include "platform/foundation/Exception.h"

namespace pex {

namespace {

using Promises = std::vector<PRMPromiseRef>;

PRMPromiseRef fulfilledWithEmptyArray() {
    return PRMPromise::resolvedWith(PRMValue(PRMValue::Array{}));
}

// The values of promises that are all fulfilled, null given as the null placeholder.
PRMValue valuesOf(const Promises& promises) {
    PRMValue::Array values;
    values.reserve(promises.size());
    for (const PRMPromiseRef& promise : promises) {
        PRMValue value = promise->value();
        values.push_back(value.isNull() ? PRMValue::nullPlaceholder() : std::move(value));
    }
    return PRMValue(std::move(values));
}

}  // namespace

// Counting fulfilments (instead of scanning every element on each one) keeps `all` linear; the
// result is the same, since it is decided only by the last fulfilment or the first rejection.
PRMPromiseRef PRMPromise::all(const DispatchQueue& queue, std::vector<PRMValue> elements) {
    if (elements.empty()) return fulfilledWithEmptyArray();
    return async(queue, [queue, elements = std::move(elements)](const Fulfill& fulfill,
                                                                const Reject& reject) {
        auto promises = std::make_shared<Promises>();
        promises->reserve(elements.size());
        for (const PRMValue& element : elements) {
            if (PRMPromiseRef promise = element.promise()) {
                promises->push_back(std::move(promise));
            } else if (element.isError()) {
                reject(element.error());
                return;
            } else {
                promises->push_back(resolvedWith(element));
            }
        }
        auto unfulfilled = std::make_shared<std::atomic<std::size_t>>(promises->size());
        for (const PRMPromiseRef& promise : *promises) {
            promise->observe(
                queue,
                [promises, unfulfilled, fulfill](const PRMValue&) {
                    if (unfulfilled->fetch_sub(1) == 1) fulfill(valuesOf(*promises));
                },
                reject);
        }
    });
}

PRMPromiseRef PRMPromise::all(std::vector<PRMValue> elements) {
    return all(defaultDispatchQueue(), std::move(elements));
}

// The last element to be resolved decides; counters stand in for a scan of every element.
PRMPromiseRef PRMPromise::any(const DispatchQueue& queue, std::vector<PRMValue> elements) {
    if (elements.empty()) return fulfilledWithEmptyArray();
    return async(queue, [queue, elements = std::move(elements)](const Fulfill& fulfill,
                                                                const Reject& reject) {
        auto promises = std::make_shared<Promises>();
        promises->reserve(elements.size());
        for (const PRMValue& element : elements) {
            PRMPromiseRef promise = element.promise();
            promises->push_back(promise ? std::move(promise) : resolvedWith(element));
        }
        struct Counts {
            std::atomic<std::size_t> unresolved;
            std::atomic<std::size_t> fulfilled{0};
        };
        auto counts = std::make_shared<Counts>();
        counts->unresolved = promises->size();
        for (const PRMPromiseRef& promise : *promises) {
            promise->observe(
                queue,
                [promises, counts, fulfill](const PRMValue&) {
                    counts->fulfilled.fetch_add(1);
                    if (counts->unresolved.fetch_sub(1) == 1)
                        fulfill(PRMPromiseCombineValuesAndErrors(*promises));
                },
                [promises, counts, fulfill, reject](const ErrorRef& error) {
                    if (counts->unresolved.fetch_sub(1) != 1) return;
                    if (counts->fulfilled.load() > 0) {
                        fulfill(PRMPromiseCombineValuesAndErrors(*promises));
                    } else {
                        reject(error);
                    }
                });
        }
    });
}

PRMPromiseRef PRMPromise::any(std::vector<PRMValue> elements) {
    return any(defaultDispatchQueue(), std::move(elements));
}

PRMPromiseRef PRMPromise::race(const DispatchQueue& queue, std::vector<PRMValue> elements) {
    if (elements.empty())
        raiseAssertionFailure("No promises to observe", __func__, __FILE__, __LINE__);
    return async(queue, [queue, elements = std::move(elements)](const Fulfill& fulfill,
                                                                const Reject& reject) {
        for (const PRMValue& element : elements) {
            if (!element.isPromise()) {
                fulfill(element);  // a value fulfils, an error rejects
                return;
            }
        }
        for (const PRMValue& element : elements) element.promise()->observe(queue, fulfill, reject);
    });
}

PRMPromiseRef PRMPromise::race(std::vector<PRMValue> elements) {
    return race(defaultDispatchQueue(), std::move(elements));
}

namespace {

// One retry run: its state lives in the callables that schedule the next attempt.
struct RetryRun : std::enable_shared_from_this<RetryRun> {
    RetryRun(PRMPromiseRef result, DispatchQueue queue, double pause,
             PRMPromise::RetryPredicate condition, PRMPromise::Work work)
        : result(std::move(result)),
          queue(std::move(queue)),
          pause(pause),
          condition(std::move(condition)),
          work(std::move(work)) {}

    void attempt(std::int64_t retriesLeft) {
        const PRMValue outcome = work();
        if (PRMPromiseRef promise = outcome.promise()) {
            auto self = shared_from_this();
            promise->observe(
                queue,
                [self, retriesLeft](const PRMValue& value) { self->handle(retriesLeft, value); },
                [self, retriesLeft](const ErrorRef& error) {
                    self->handle(retriesLeft, PRMValue(error));
                });
            return;
        }
        handle(retriesLeft, outcome);
    }

    void handle(std::int64_t retriesLeft, const PRMValue& outcome) {
        if (!outcome.isError()) {
            result->fulfill(outcome);
            return;
        }
        if (retriesLeft > 0 && (!condition || condition(retriesLeft, outcome.error()))) {
            queue.asyncAfter(PRMNanosecondsOf(pause), [self = shared_from_this(), retriesLeft] {
                self->attempt(retriesLeft - 1);
            });
            return;
        }
        result->reject(outcome.error());
    }

    const PRMPromiseRef result;
    const DispatchQueue queue;
    const double pause;
    const PRMPromise::RetryPredicate condition;
    const PRMPromise::Work work;
};

constexpr double kDefaultRetryPause = 1.0;

}  // namespace

PRMPromiseRef PRMPromise::attempts(const DispatchQueue& queue, std::int64_t count, double pause,
                                   RetryPredicate condition, Work work) {
    PEX_PARAMETER_ASSERT(work, "work");
    PRMPromiseRef result = pendingPromise();
    result->madeBy(queue, nullptr);
    std::make_shared<RetryRun>(result, queue, pause, std::move(condition), std::move(work))
        ->attempt(count);
    return result;
}

PRMPromiseRef PRMPromise::attempts(std::int64_t count, double pause, RetryPredicate condition,
                                   Work work) {
    return attempts(defaultDispatchQueue(), count, pause, std::move(condition), std::move(work));
}

PRMPromiseRef PRMPromise::attempts(const DispatchQueue& queue, std::int64_t count, Work work) {
    return attempts(queue, count, kDefaultRetryPause, nullptr, std::move(work));
}

PRMPromiseRef PRMPromise::attempts(std::int64_t count, Work work) {
    return attempts(defaultDispatchQueue(), count, std::move(work));
}

PRMPromiseRef PRMPromise::retry(const DispatchQueue& queue, Work work) {
    return attempts(queue, 1, std::move(work));
}

PRMPromiseRef PRMPromise::retry(Work work) {
    return retry(defaultDispatchQueue(), std::move(work));
}

PRMValue PRMPromiseAwait(const PRMPromiseRef& promise, ErrorRef* outError) {
    PEX_PARAMETER_ASSERT(promise, "promise");
    // A wait on the queue whose work must resolve the promise (or a promise it waits for)
    // would never end; it fails instead. Concurrent queues have other threads to run it.
    for (PRMPromiseRef step = promise; step && step->isPending(); step = step->upstream_.lock()) {
        const auto& queue = step->resolvingQueue_;
        if (queue && queue->kind() != DispatchQueue::Kind::Concurrent && queue->isCurrent()) {
            raiseAssertionFailure("PRMPromiseAwait on queue \"" + queue->label() +
                                      "\" would wait for work that only this queue can run",
                                  __func__, __FILE__, __LINE__);
        }
    }
    static const auto* awaitQueue =
        new DispatchQueue(DispatchQueue::concurrent("com.beacon.PRMPromises.Await"));
    struct Outcome {
        DispatchSemaphore done;
        PRMValue value;
        ErrorRef error;
    };
    auto outcome = std::make_shared<Outcome>();
    promise->chain(
        *awaitQueue,
        [outcome](const PRMValue& value) {
            outcome->value = value;
            outcome->done.signal();
            return value;
        },
        [outcome](const ErrorRef& error) {
            outcome->error = error;
            outcome->done.signal();
            return PRMValue(error);
        });
    outcome->done.wait();
    if (outError) *outError = outcome->error;
    return outcome->value;
}

}  // namespace pex
