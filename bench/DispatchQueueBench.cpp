// Throughput of one serial queue fed by several producer threads, and how late delayed work
// runs while the pool is busy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/foundation/DispatchGroup.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {
namespace {

void BM_SerialQueueSeveralProducers(benchmark::State& state) {
    const int producers = static_cast<int>(state.range(0));
    constexpr int kItemsPerProducer = 10000;
    DispatchQueue queue = DispatchQueue::serial("bench.serial");
    for (auto _ : state) {
        std::atomic<long> sum{0};
        std::vector<std::thread> threads;
        for (int p = 0; p < producers; ++p) {
            threads.emplace_back([&] {
                for (int i = 0; i < kItemsPerProducer; ++i)
                    queue.async([&sum, i] { sum.fetch_add(i, std::memory_order_relaxed); });
            });
        }
        for (auto& thread : threads) thread.join();
        queue.sync([] {});
        benchmark::DoNotOptimize(sum.load());
    }
    state.SetItemsProcessed(state.iterations() * producers * kItemsPerProducer);
}
BENCHMARK(BM_SerialQueueSeveralProducers)->Arg(1)->Arg(4)->Arg(8)->UseRealTime();

// Lateness of 200 delayed items (1-20 ms) while 16 serial queues keep the pool busy with short
// items. Reported as counters: mean and worst lateness in microseconds.
void BM_AsyncAfterAccuracyUnderLoad(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> lateness;
    for (auto _ : state) {
        std::atomic<bool> loading{true};
        std::vector<DispatchQueue> busy;
        for (int i = 0; i < 16; ++i) busy.push_back(DispatchQueue::serial("bench.busy"));
        std::thread feeder([&] {
            while (loading) {
                for (auto& queue : busy)
                    queue.async([] {
                        volatile int spin = 0;
                        for (int k = 0; k < 2000; ++k) spin = spin + k;
                    });
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        DispatchQueue target = DispatchQueue::serial("bench.after");
        DispatchGroup group;
        std::vector<double> late(200);
        for (int i = 0; i < 200; ++i) {
            const auto delay = std::chrono::milliseconds(1 + i % 20);
            const auto due = Clock::now() + delay;
            group.enter();
            target.asyncAfter(delay, [&, i, due] {
                late[i] = std::chrono::duration<double, std::micro>(Clock::now() - due).count();
                group.leave();
            });
        }
        group.wait(std::chrono::seconds(30));
        loading = false;
        feeder.join();
        lateness.insert(lateness.end(), late.begin(), late.end());
    }
    double total = 0;
    for (double each : lateness) total += each;
    state.counters["mean_late_us"] = total / static_cast<double>(lateness.size());
    state.counters["max_late_us"] = *std::max_element(lateness.begin(), lateness.end());
}
BENCHMARK(BM_AsyncAfterAccuracyUnderLoad)
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pex
