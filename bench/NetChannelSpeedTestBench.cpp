// How long the service-line latency test takes as a whole: lines that answer at once and lines
// that never answer, all tested at the same time against the local stand-in service. A test
// with silent lines should end about 5 s after it started (their time-out), whatever the
// number of lines; one without them in milliseconds.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Page/View/ChannelLatencyProbe.h"
#include "platform/foundation/MainQueue.h"
#include "standin-service/ServiceLineHosts.h"
#include "standin-service/StandinService.h"

namespace {

using namespace std::chrono_literals;

void BM_LatencyTest(benchmark::State& state) {
    const auto answering = static_cast<int>(state.range(0));
    const auto silent = static_cast<int>(state.range(1));
    pex::standin::StandinService service;
    pex::standin::BlackHoleListener hole;
    if (service.start() == 0 || hole.port() == 0) {
        state.SkipWithError("cannot open the stand-in's ports");
        return;
    }
    pex::standin::registerLineHosts(service);
    std::vector<std::optional<std::string>> addresses;
    for (int i = 0; i < answering; ++i) {
        addresses.emplace_back(pex::standin::lineHost(service, "line" + std::to_string(i)));
    }
    for (int i = 0; i < silent; ++i) addresses.emplace_back(hole.origin());

    int failures = 0;
    for (auto _ : state) {
        bool finished = false;
        pex::ChannelLatencyProbe::start(
            addresses, nullptr, [&](std::vector<pex::SpeedTestState> results) {
                for (const auto& result : results) {
                    failures += result.kind != pex::SpeedTestState::Kind::success;
                }
                finished = true;
            });
        if (!pex::MainQueue::runUntil([&] { return finished; }, 60s)) {
            state.SkipWithError("the latency test did not end");
            return;
        }
    }
    state.counters["lines"] = answering + silent;
    state.counters["unusable"] = benchmark::Counter(failures, benchmark::Counter::kAvgIterations);
    service.stop();
}

BENCHMARK(BM_LatencyTest)
    ->ArgNames({"answering", "silent"})
    ->Args({3, 0})
    ->Args({50, 0})
    ->Args({3, 1})
    ->Args({3, 50})
    ->Args({20, 200})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
