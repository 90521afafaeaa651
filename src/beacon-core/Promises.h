#pragma once
// The free operators of typed promises: combining (`all`, `any`, `race`), repetition
// (`retry`), blocking (`awaitValue`) and completion callbacks turned into promises (`wrap...`).
// Each is a thin adapter over the core operator of the same name.
#include <cstddef>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "beacon-core/Maybe.h"
#include "beacon-core/Promise.h"

namespace pex::Promises {

namespace detail {

template <typename Value>
std::vector<PRMValue> coresOf(const std::vector<Promise<Value>>& promises) {
    std::vector<PRMValue> cores;
    cores.reserve(promises.size());
    for (const auto& promise : promises) cores.emplace_back(promise.objCPromise());
    return cores;
}

template <typename Value>
Maybe<Value> maybeOf(const PRMValue& element) {
    if (element.isError()) return Maybe<Value>::fromError(element.error());
    return Maybe<Value>::fromValue(requireValue<Value>(element));
}

template <typename... Values, std::size_t... Index>
std::tuple<PromiseStoredT<Values>...> tupleOf(const PRMValue& array,
                                              std::index_sequence<Index...>) {
    if (!array.isArray() || array.array().size() != sizeof...(Values))
        raiseAssertionFailure("all: no array of " + std::to_string(sizeof...(Values)) + " values",
                              __func__, __FILE__, __LINE__);
    return {requireValue<PromiseStoredT<Values>>(array.array()[Index])...};
}

template <typename... Values, std::size_t... Index>
std::tuple<Maybe<PromiseStoredT<Values>>...> maybeTupleOf(const PRMValue& array,
                                                          std::index_sequence<Index...>) {
    if (!array.isArray() || array.array().size() != sizeof...(Values))
        raiseAssertionFailure("any: no array of " + std::to_string(sizeof...(Values)) + " outcomes",
                              __func__, __FILE__, __LINE__);
    return {maybeOf<PromiseStoredT<Values>>(array.array()[Index])...};
}

}  // namespace detail

// Fulfilled with every value in order once all are fulfilled; rejected with the first error.
template <typename Value>
Promise<std::vector<PromiseStoredT<Value>>> all(const DispatchQueue& queue,
                                                const std::vector<Promise<Value>>& promises) {
    return Promise<std::vector<PromiseStoredT<Value>>>(
        PRMPromise::all(queue, detail::coresOf(promises)));
}
template <typename Value>
Promise<std::vector<PromiseStoredT<Value>>> all(const std::vector<Promise<Value>>& promises) {
    return all(defaultQueue(), promises);
}

// Two to four promises of different types: their values as a tuple, in argument order.
template <typename... Values>
requires(sizeof...(Values) >= 2 && sizeof...(Values) <= 4)
    Promise<std::tuple<PromiseStoredT<Values>...>> all(const DispatchQueue& queue,
                                                       const Promise<Values>&... promises) {
    PRMPromiseRef values = PRMPromise::all(queue, {PRMValue(promises.objCPromise())...});
    return Promise<std::tuple<PromiseStoredT<Values>...>>(
        values->then(queue, [](const PRMValue& array) {
            return PRMValue::box(
                detail::tupleOf<Values...>(array, std::index_sequence_for<Values...>{}));
        }));
}

// Once every input is resolved: each one's value or error, in order, when at least one was
// fulfilled; rejected when none was.
template <typename Value>
Promise<std::vector<Maybe<PromiseStoredT<Value>>>> any(
    const DispatchQueue& queue, const std::vector<Promise<Value>>& promises) {
    using Outcomes = std::vector<Maybe<PromiseStoredT<Value>>>;
    PRMPromiseRef combined = PRMPromise::any(queue, detail::coresOf(promises));
    return Promise<Outcomes>(combined->then(queue, [](const PRMValue& array) {
        Outcomes outcomes;
        outcomes.reserve(array.array().size());
        for (const PRMValue& element : array.array())
            outcomes.push_back(detail::maybeOf<PromiseStoredT<Value>>(element));
        return objectFromValue(outcomes);
    }));
}
template <typename Value>
Promise<std::vector<Maybe<PromiseStoredT<Value>>>> any(
    const std::vector<Promise<Value>>& promises) {
    return any(defaultQueue(), promises);
}

template <typename... Values>
requires(sizeof...(Values) >= 2 && sizeof...(Values) <= 3)
    Promise<std::tuple<Maybe<PromiseStoredT<Values>>...>> any(const DispatchQueue& queue,
                                                              const Promise<Values>&... promises) {
    PRMPromiseRef combined = PRMPromise::any(queue, {PRMValue(promises.objCPromise())...});
    return Promise<std::tuple<Maybe<PromiseStoredT<Values>>...>>(
        combined->then(queue, [](const PRMValue& array) {
            return PRMValue::box(
                detail::maybeTupleOf<Values...>(array, std::index_sequence_for<Values...>{}));
        }));
}

// Resolved as the first input to resolve. No inputs fails "No promises to observe".
template <typename Value>
Promise<Value> race(const DispatchQueue& queue, const std::vector<Promise<Value>>& promises) {
    return Promise<Value>(PRMPromise::race(queue, detail::coresOf(promises)));
}
template <typename Value>
Promise<Value> race(const std::vector<Promise<Value>>& promises) {
    return race(defaultQueue(), promises);
}

// Runs `work` (giving a Promise<Value>) at once; while it fails, `attempts` > 0 and
// `condition(retriesLeft, error)` (if given) agrees, again on the queue after `delay` seconds.
template <typename Work>
auto retry(const DispatchQueue& queue, std::int64_t attempts, double delay,
           PRMPromise::RetryPredicate condition, Work work) {
    using Returned = std::decay_t<decltype(work())>;
    using Value = typename promise_detail::ResultValue<Returned>::type;
    return Promise<Value>(
        PRMPromise::attempts(queue, attempts, delay, std::move(condition),
                             [work = std::move(work)]() mutable { return outcomeOf(work); }));
}
template <typename Work>
auto retry(std::int64_t attempts, double delay, PRMPromise::RetryPredicate condition, Work work) {
    return retry(defaultQueue(), attempts, delay, std::move(condition), std::move(work));
}

// Blocks until `promise` is resolved: its value, or a ThrownError with the core error as it is.
template <typename Value>
PromiseStoredT<Value> awaitValue(const Promise<Value>& promise) {
    ErrorRef error;
    PRMValue object = PRMPromiseAwait(promise.objCPromise(), &error);
    if (error) throw ThrownError(error);
    if (object.isNull()) object = PRMValue::nullPlaceholder();
    return requireValue<PromiseStoredT<Value>>(object);
}

// ---- Completion callbacks turned into promises ----
// Each runs `work(completion)` on the queue; a throw rejects, the first call counts, and in the
// shapes with an error a present error rejects even when a value came with it.

namespace detail {
template <typename Value, typename Completion, typename Work, typename MakeCompletion>
Promise<Value> wrapWith(const DispatchQueue& queue, Work work, MakeCompletion makeCompletion) {
    return Promise<Value>::async(queue, [work = std::move(work), makeCompletion](
                                            const auto& fulfill, const auto& reject) mutable {
        work(Completion(makeCompletion(fulfill, reject)));
    });
}
}  // namespace detail

// `completion()`: fulfilled with an empty value.
template <typename Work>
Promise<std::optional<PromiseVoid>> wrapEmpty(const DispatchQueue& queue, Work work) {
    using Value = std::optional<PromiseVoid>;
    return detail::wrapWith<Value, std::function<void()>>(
        queue, std::move(work),
        [](const auto& fulfill, const auto&) { return [fulfill] { fulfill(Value()); }; });
}

// `completion(value)`.
template <typename Value, typename Work>
Promise<Value> wrap(const DispatchQueue& queue, Work work) {
    return detail::wrapWith<Value, std::function<void(Value)>>(
        queue, std::move(work), [](const auto& fulfill, const auto&) {
            return [fulfill](Value value) { fulfill(value); };
        });
}

// `completion(optional value)`.
template <typename Value, typename Work>
Promise<std::optional<Value>> wrapOptional(const DispatchQueue& queue, Work work) {
    return wrap<std::optional<Value>>(queue, std::move(work));
}

// `completion(value, error)`.
template <typename Value, typename Work>
Promise<Value> wrapValueOrError(const DispatchQueue& queue, Work work) {
    return detail::wrapWith<Value, std::function<void(Value, ErrorRef)>>(
        queue, std::move(work), [](const auto& fulfill, const auto& reject) {
            return [fulfill, reject](Value value, ErrorRef error) {
                if (error) {
                    reject(std::move(error));
                } else {
                    fulfill(value);
                }
            };
        });
}

// `completion(error, value)`.
template <typename Value, typename Work>
Promise<Value> wrapErrorOrValue(const DispatchQueue& queue, Work work) {
    return detail::wrapWith<Value, std::function<void(ErrorRef, Value)>>(
        queue, std::move(work), [](const auto& fulfill, const auto& reject) {
            return [fulfill, reject](ErrorRef error, Value value) {
                if (error) {
                    reject(std::move(error));
                } else {
                    fulfill(value);
                }
            };
        });
}

// `completion(optional value, error)` and `completion(error, optional value)`.
template <typename Value, typename Work>
Promise<std::optional<Value>> wrapOptionalOrError(const DispatchQueue& queue, Work work) {
    return wrapValueOrError<std::optional<Value>>(queue, std::move(work));
}
template <typename Value, typename Work>
Promise<std::optional<Value>> wrapErrorOrOptional(const DispatchQueue& queue, Work work) {
    return wrapErrorOrValue<std::optional<Value>>(queue, std::move(work));
}

// `completion(optional first, optional second, error)`: the pair.
template <typename First, typename Second, typename Work>
Promise<std::tuple<std::optional<First>, std::optional<Second>>> wrapPairOrError(
    const DispatchQueue& queue, Work work) {
    using Pair = std::tuple<std::optional<First>, std::optional<Second>>;
    return detail::wrapWith<
        Pair, std::function<void(std::optional<First>, std::optional<Second>, ErrorRef)>>(
        queue, std::move(work), [](const auto& fulfill, const auto& reject) {
            return [fulfill, reject](std::optional<First> first, std::optional<Second> second,
                                     ErrorRef error) {
                if (error) {
                    reject(std::move(error));
                } else {
                    fulfill(Pair(std::move(first), std::move(second)));
                }
            };
        });
}

}  // namespace pex::Promises
