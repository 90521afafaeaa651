// The chaining operators: each is a small rule over `observe` and `chain`.
#include "beacon-core/PRMPromise.h"
#include "beacon-core/PRMPromiseTiming.h"
#include "platform/foundation/Exception.h"

namespace pex {

namespace {

ErrorRef operatorError(std::int64_t code) {
    return Error::make(PRMPromise::kErrorDomain, code);
}

}  // namespace

PRMPromiseRef PRMPromise::then(const DispatchQueue& queue, ChainedFulfill work) {
    PEX_PARAMETER_ASSERT(work, "work");
    return chain(queue, std::move(work), nullptr);
}

PRMPromiseRef PRMPromise::then(ChainedFulfill work) {
    return then(defaultDispatchQueue(), std::move(work));
}

PRMPromiseRef PRMPromise::catchError(const DispatchQueue& queue, Reject reject) {
    PEX_PARAMETER_ASSERT(reject, "reject");
    return chain(queue, nullptr, [reject = std::move(reject)](const ErrorRef& error) {
        reject(error);
        return PRMValue(error);
    });
}

PRMPromiseRef PRMPromise::catchError(Reject reject) {
    return catchError(defaultDispatchQueue(), std::move(reject));
}

PRMPromiseRef PRMPromise::always(const DispatchQueue& queue, std::function<void()> work) {
    PEX_PARAMETER_ASSERT(work, "work");
    return chain(
        queue,
        [work](const PRMValue& value) {
            work();
            return value;
        },
        [work](const ErrorRef& error) {
            work();
            return PRMValue(error);
        });
}

PRMPromiseRef PRMPromise::always(std::function<void()> work) {
    return always(defaultDispatchQueue(), std::move(work));
}

PRMPromiseRef PRMPromise::recover(const DispatchQueue& queue, ChainedReject recovery) {
    PEX_PARAMETER_ASSERT(recovery, "recovery");
    return chain(queue, nullptr, std::move(recovery));
}

PRMPromiseRef PRMPromise::recover(ChainedReject recovery) {
    return recover(defaultDispatchQueue(), std::move(recovery));
}

PRMPromiseRef PRMPromise::validate(const DispatchQueue& queue, Predicate predicate) {
    PEX_PARAMETER_ASSERT(predicate, "predicate");
    return chain(
        queue,
        [predicate = std::move(predicate)](const PRMValue& value) {
            return predicate(value) ? value : PRMValue(operatorError(kErrorCodeValidationFailure));
        },
        nullptr);
}

PRMPromiseRef PRMPromise::validate(Predicate predicate) {
    return validate(defaultDispatchQueue(), std::move(predicate));
}

PRMPromiseRef PRMPromise::delay(const DispatchQueue& queue, double seconds) {
    PRMPromiseRef result = makePending();
    result->madeBy(queue, shared_from_this());
    const Clock::Duration interval = PRMNanosecondsOf(seconds);
    observe(
        queue,
        [result, queue, interval](const PRMValue& value) {
            // asyncAfter never runs inline, so a zero delay still fulfils later, on the queue.
            queue.asyncAfter(interval, [result, value] { result->fulfill(value); });
        },
        [result](const ErrorRef& error) { result->reject(error); });
    return result;
}

PRMPromiseRef PRMPromise::delay(double seconds) {
    return delay(defaultDispatchQueue(), seconds);
}

PRMPromiseRef PRMPromise::timeout(const DispatchQueue& queue, double seconds) {
    PRMPromiseRef result = makePending();
    result->madeBy(queue, shared_from_this());
    observe(
        queue, [result](const PRMValue& value) { result->fulfill(value); },
        [result](const ErrorRef& error) { result->reject(error); });
    std::weak_ptr<PRMPromise> weakResult = result;
    queue.asyncAfter(PRMNanosecondsOf(seconds), [weakResult] {
        ErrorRef timedOut = operatorError(kErrorCodeTimedOut);
        if (PRMPromiseRef still = weakResult.lock()) still->reject(timedOut);
    });
    return result;
}

PRMPromiseRef PRMPromise::timeout(double seconds) {
    return timeout(defaultDispatchQueue(), seconds);
}

PRMPromiseRef PRMPromise::async(const DispatchQueue& queue, AsyncWork work) {
    PEX_PARAMETER_ASSERT(work, "work");
    PRMPromiseRef result = pendingPromise();
    result->madeBy(queue, nullptr);
    dispatchGroup().async(queue, [result, queue, work = std::move(work)] {
        work([result, queue](const PRMValue& value) { resolveFollowing(result, queue, value); },
             [result](const ErrorRef& error) { result->reject(error); });
    });
    return result;
}

PRMPromiseRef PRMPromise::async(AsyncWork work) {
    return async(defaultDispatchQueue(), std::move(work));
}

PRMPromiseRef PRMPromise::doWork(const DispatchQueue& queue, Work work) {
    PEX_PARAMETER_ASSERT(work, "work");
    return async(queue, [work = std::move(work)](const Fulfill& fulfill, const Reject&) {
        fulfill(work());
    });
}

PRMPromiseRef PRMPromise::reduce(const DispatchQueue& queue, const std::vector<PRMValue>& items,
                                 Reducer reducer) {
    PEX_PARAMETER_ASSERT(reducer, "reducer");
    PRMPromiseRef folded = shared_from_this();
    for (const PRMValue& item : items) {
        folded = folded->chain(
            queue, [reducer, item](const PRMValue& partial) { return reducer(partial, item); },
            nullptr);
    }
    return folded;
}

PRMPromiseRef PRMPromise::reduce(const std::vector<PRMValue>& items, Reducer reducer) {
    return reduce(defaultDispatchQueue(), items, std::move(reducer));
}

}  // namespace pex
