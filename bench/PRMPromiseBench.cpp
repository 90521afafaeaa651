// Promise costs: one create-fulfil-observe round trip through a serial queue, a long `then`
// chain, and `all` over many promises (which should grow linearly with their number).
#include <benchmark/benchmark.h>

#include <vector>

#include "beacon-core/PRMPromise.h"

namespace pex {
namespace {

DispatchQueue& benchQueue() {
    static auto* queue = new DispatchQueue(DispatchQueue::serial("bench.promises"));
    return *queue;
}

void waitFor(const PRMPromiseRef& promise) {
    DispatchSemaphore done;
    promise->observe(
        benchQueue(), [&](const PRMValue&) { done.signal(); },
        [&](const ErrorRef&) { done.signal(); });
    done.wait();
}

void BM_CreateFulfilObserveRoundTrip(benchmark::State& state) {
    for (auto _ : state) {
        PRMPromiseRef promise = PRMPromise::pendingPromise();
        promise->fulfill(PRMValue::box(1));
        waitFor(promise);
    }
}
BENCHMARK(BM_CreateFulfilObserveRoundTrip)->UseRealTime();

void BM_ThenChain(benchmark::State& state) {
    const auto steps = state.range(0);
    for (auto _ : state) {
        PRMPromiseRef source = PRMPromise::pendingPromise();
        PRMPromiseRef last = source;
        for (std::int64_t i = 0; i < steps; ++i) {
            last = last->then(benchQueue(), [](const PRMValue& value) {
                return PRMValue::box(*value.as<std::int64_t>() + 1);
            });
        }
        source->fulfill(PRMValue::box(std::int64_t{0}));
        waitFor(last);
        if (*last->value().as<std::int64_t>() != steps) state.SkipWithError("wrong sum");
    }
    state.SetItemsProcessed(state.iterations() * steps);
}
BENCHMARK(BM_ThenChain)->Arg(10000)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_AllOverPendingPromises(benchmark::State& state) {
    const auto count = state.range(0);
    for (auto _ : state) {
        std::vector<PRMPromiseRef> promises;
        std::vector<PRMValue> elements;
        promises.reserve(count);
        elements.reserve(count);
        for (std::int64_t i = 0; i < count; ++i) {
            promises.push_back(PRMPromise::pendingPromise());
            elements.push_back(promises.back());
        }
        PRMPromiseRef all = PRMPromise::all(benchQueue(), elements);
        for (const auto& promise : promises) promise->fulfill(PRMValue::box(1));
        waitFor(all);
    }
    state.SetComplexityN(count);
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AllOverPendingPromises)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
}  // namespace pex
