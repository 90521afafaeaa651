#pragma once
// The typed face of PRMPromise: a cheap, copyable handle on one shared core promise, which holds
// all the state. Values cross into the core and back by the rules of PromiseValueConversion.h;
// a Promise<void> carries a non-null unit value. Typed callables may return a value, a
// Promise, a PromiseResult, or throw (see `outcomeOf`); handlers of errors receive a
// TypedError, in which the core's time-out and validation errors appear as PromiseError.
// Every operator has a form without a queue that uses the promises' default queue.
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "beacon-core/PRMPromise.h"
#include "beacon-core/PromiseError.h"
#include "beacon-core/PromiseValueConversion.h"

namespace pex {

namespace Promises {
// The default queue of typed promises: the core's class-wide default queue itself.
inline DispatchQueue defaultQueue() {
    return PRMPromise::defaultDispatchQueue();
}
inline void setDefaultQueue(DispatchQueue queue) {
    PRMPromise::setDefaultDispatchQueue(std::move(queue));
}
}  // namespace Promises

template <typename Value>
class Promise {
  public:
    using Stored = PromiseStoredT<Value>;

    // Wraps that very core promise.
    explicit Promise(PRMPromiseRef core) : core_(std::move(core)) {
        PEX_PARAMETER_ASSERT(core_, "objCPromise");
    }

    static Promise pending() { return Promise(PRMPromise::pendingPromise()); }
    static Promise rejected(const TypedError& error) {
        return Promise(PRMPromise::resolvedWith(error.error()));
    }
    static Promise rejected(ErrorRef error) { return rejected(TypedError(std::move(error))); }
    static Promise rejected(PromiseError error) { return rejected(TypedError(error)); }
    // Calls `resolution` at once: its value fulfils, a returned Promise is followed, an error
    // value or a throw rejects.
    template <typename Resolution>
    static Promise resolved(Resolution&& resolution) {
        PRMValue outcome = outcomeOf(std::forward<Resolution>(resolution));
        if (PRMPromiseRef followed = outcome.promise()) return Promise(std::move(followed));
        return Promise(PRMPromise::resolvedWith(std::move(outcome)));
    }
    // Runs `work(fulfill, reject)` on the queue; the first call of either wins, and a throw
    // rejects.
    template <typename Work>
    static Promise async(const DispatchQueue& queue, Work work) {
        return Promise(
            PRMPromise::async(queue, [work = std::move(work)](PRMPromise::Fulfill fulfill,
                                                              PRMPromise::Reject reject) mutable {
                const TypedFulfill typedFulfill{fulfill};
                const TypedReject typedReject{reject};
                PRMValue failure = outcomeOf([&] { work(typedFulfill, typedReject); });
                if (failure.isError()) reject(failure.error());
            }));
    }
    template <typename Work>
    static Promise async(Work work) {
        return async(Promises::defaultQueue(), std::move(work));
    }
    // Runs `work` on the queue; the result follows what it gives.
    template <typename Work>
    static Promise doWork(const DispatchQueue& queue, Work work) {
        return Promise(PRMPromise::doWork(
            queue, [work = std::move(work)]() mutable { return outcomeOf(work); }));
    }
    template <typename Work>
    static Promise doWork(Work work) {
        return doWork(Promises::defaultQueue(), std::move(work));
    }

    // An error value rejects; on a resolved promise nothing happens.
    void fulfill(const Stored& value) const { core_->fulfill(objectFromValue(value)); }
    void fulfill() const requires std::is_void_v<Value> { fulfill(PromiseVoid{}); }
    void reject(const TypedError& error) const { core_->reject(error.error()); }
    void reject(ErrorRef error) const { reject(TypedError(std::move(error))); }
    void reject(PromiseError error) const { reject(TypedError(error)); }

    bool isPending() const { return core_->isPending(); }
    bool isFulfilled() const { return core_->isFulfilled(); }
    bool isRejected() const { return core_->isRejected(); }
    // The value of a fulfilled promise; none while pending, once rejected, or for a null value.
    std::optional<Stored> value() const {
        const PRMValue object = core_->value();
        if (object.isNull()) return std::nullopt;
        auto value = valueFromObject<Stored>(object, false);
        if (!value) {
            raiseAssertionFailure("promise value " + object.description() + " is not a " +
                                      promise_detail::typeName<Value>(),
                                  __func__, __FILE__, __LINE__);
        }
        return value;
    }
    std::optional<TypedError> error() const {
        if (ErrorRef error = core_->error()) return TypedError(std::move(error));
        return std::nullopt;
    }
    const PRMPromiseRef& objCPromise() const { return core_; }

    // "Fulfilled: <value>" or "Fulfilled: nil", "Rejected: <error>", "Pending: <type>".
    std::string description() const {
        if (isFulfilled()) {
            const PRMValue object = core_->value();
            if (object.isNull()) return "Fulfilled: nil";
            if constexpr (std::is_same_v<Stored, PromiseVoid>) return "Fulfilled: ()";
            return "Fulfilled: " + object.description();
        }
        if (auto failure = error()) return "Rejected: " + failure->description();
        return "Pending: " + promise_detail::typeName<Value>();
    }

    // ---- Operators ----

    // `work` takes the value (or nothing, for Promise<void>). Returning a value, a Promise or
    // a PromiseResult gives a promise of that value type; returning nothing gives a promise
    // fulfilled with this one's value once `work` has run.
    template <typename Work>
    auto then(const DispatchQueue& queue, Work work) const {
        using Returned = ReturnedBy<Work, Stored>;
        if constexpr (std::is_void_v<Returned>) {
            return Promise<Value>(core_->then(
                queue, [work = std::move(work)](const PRMValue& object) mutable -> PRMValue {
                    const Stored value = requireValue<Stored>(object);
                    PRMValue outcome = outcomeOf([&] { invokeWithValue(work, value); });
                    return outcome.isError() ? outcome : object;
                }));
        } else {
            using Next = typename promise_detail::ResultValue<Returned>::type;
            return Promise<Next>(
                core_->then(queue, [work = std::move(work)](const PRMValue& object) mutable {
                    const Stored value = requireValue<Stored>(object);
                    return outcomeOf([&] { return invokeWithValue(work, value); });
                }));
        }
    }
    template <typename Work>
    auto then(Work work) const {
        return then(Promises::defaultQueue(), std::move(work));
    }

    // Calls `handler` with the error; the result stays rejected with it.
    Promise catchError(const DispatchQueue& queue,
                       std::function<void(const TypedError&)> handler) const {
        PEX_PARAMETER_ASSERT(handler, "reject");
        return Promise(core_->catchError(
            queue,
            [handler = std::move(handler)](const ErrorRef& error) { handler(TypedError(error)); }));
    }
    Promise catchError(std::function<void(const TypedError&)> handler) const {
        return catchError(Promises::defaultQueue(), std::move(handler));
    }

    Promise always(const DispatchQueue& queue, std::function<void()> work) const {
        return Promise(core_->always(queue, std::move(work)));
    }
    Promise always(std::function<void()> work) const {
        return always(Promises::defaultQueue(), std::move(work));
    }

    // `recovery` takes the error and gives a value, a Promise<Value> or a PromiseResult, or throws.
    template <typename Recovery>
    Promise recover(const DispatchQueue& queue, Recovery recovery) const {
        return Promise(
            core_->recover(queue, [recovery = std::move(recovery)](const ErrorRef& error) mutable {
                return outcomeOf([&] { return recovery(TypedError(error)); });
            }));
    }
    template <typename Recovery>
    Promise recover(Recovery recovery) const {
        return recover(Promises::defaultQueue(), std::move(recovery));
    }

    // A value for which `predicate` is false rejects with PromiseError::validationFailure.
    Promise validate(const DispatchQueue& queue,
                     std::function<bool(const Stored&)> predicate) const {
        PEX_PARAMETER_ASSERT(predicate, "predicate");
        return Promise(
            core_->validate(queue, [predicate = std::move(predicate)](const PRMValue& object) {
                return predicate(requireValue<Stored>(object));
            }));
    }
    Promise validate(std::function<bool(const Stored&)> predicate) const {
        return validate(Promises::defaultQueue(), std::move(predicate));
    }

    Promise delay(const DispatchQueue& queue, double seconds) const {
        return Promise(core_->delay(queue, seconds));
    }
    Promise delay(double seconds) const { return delay(Promises::defaultQueue(), seconds); }

    // Rejects with PromiseError::timedOut when `seconds` pass before this one resolves.
    Promise timeout(const DispatchQueue& queue, double seconds) const {
        return Promise(core_->timeout(queue, seconds));
    }
    Promise timeout(double seconds) const { return timeout(Promises::defaultQueue(), seconds); }

    // One `then` step per item, on the default queue as read now; `reducer(value, item)` gives
    // a Promise<Value>. With no items, this very promise.
    template <typename Element, typename Reducer>
    Promise reduce(const std::vector<Element>& items, Reducer reducer) const {
        Promise folded = *this;
        const DispatchQueue queue = Promises::defaultQueue();
        for (const Element& item : items) {
            folded = folded.then(queue, [reducer, item](const Stored& value) -> Promise<Value> {
                return reducer(value, item);
            });
        }
        return folded;
    }

    // The callables that `async` work receives.
    struct TypedFulfill {
        PRMPromise::Fulfill fulfill;
        void operator()(const Stored& value) const { fulfill(objectFromValue(value)); }
        void operator()() const requires std::is_void_v<Value> {
            fulfill(objectFromValue(PromiseVoid{}));
        }
    };
    struct TypedReject {
        PRMPromise::Reject reject;
        void operator()(const TypedError& error) const { reject(error.error()); }
        void operator()(ErrorRef error) const { reject(std::move(error)); }
    };

  private:
    PRMPromiseRef core_;
};

}  // namespace pex
