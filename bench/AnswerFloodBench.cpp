// Memory of a flooding answer stream: the stand-in on 127.0.0.1 streams 100,000 one-character
// pieces (about 3 MB of lines) into one answer, read by the real stream client and carried to
// the main queue the way the session window carries it (one waiting update per answer, the
// answer capped at StreamingClient::kMaxAnswerBytes). The main thread grows the row's text.
// Memory stays flat in the piece count: a copy of the whole answer queued per piece would need
// gigabytes here.
//
// Counters: peak_rss_MB (the process's peak resident size after the run), rss_growth_MB (the
// peak's growth over the run, stand-in included), deliveries (main-queue updates the row got),
// answer_KB (the text the row ended with).
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "Page/AIInterviewPages/AnswerUpdateCoalescer.h"
#include "audio/StreamingClient.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "service/ApiBaseURL.h"
#include "standin-service/StandinService.h"

namespace pex {
namespace {

constexpr int kPieces = 100000;

double peakRssMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // reported in KiB
}

std::string pieceLine(int index) {
    static const char* const kCharacters[] = {"答", "案", "a", "，"};
    return "data: " + nlohmann::json{{"data", {{"content", kCharacters[index % 4]}}}}.dump() + "\n";
}

void BM_FloodedAnswer(benchmark::State& state) {
    MainQueue::adoptCurrentThreadAsMain();
    standin::StandinService service;
    if (service.start() == 0) {
        state.SkipWithError("cannot start the stand-in service");
        return;
    }
    DeploymentSettings::useSingleOrigin(*Origin::parse(service.origin()));
    setApiBaseURL(service.apiBase());
    service.addApiPath("POST", StreamingClient::kPath, [](const standin::Call&) {
        auto next = std::make_shared<int>(0);
        return standin::Reply::produced([next]() -> std::optional<std::string> {
            if (*next >= kPieces) return std::nullopt;
            return pieceLine((*next)++);
        });
    });

    const double before = peakRssMB();
    std::size_t deliveries = 0;
    std::size_t answerBytes = 0;
    for (auto _ : state) {
        std::string row;
        deliveries = 0;
        std::atomic<bool> completed{false};
        auto updates = AnswerUpdateCoalescer::create(
            [](std::function<void()> work) { DispatchQueue::main().async(std::move(work)); },
            [&](const std::string& added) {
                row += added;
                ++deliveries;
            });
        StreamModel model;
        model.txt = "请介绍一下你自己";
        model.onUpdate = [updates](const std::string& text) { updates->answerGrew(text); };
        model.didComplete = [&completed](std::int64_t, const std::string&, StreamOutcome) {
            completed = true;
        };
        StreamingClient::create(std::move(model))->start();
        MainQueue::runUntil([&] { return completed.load(); }, std::chrono::seconds(120));
        MainQueue::drain();
        if (!completed) state.SkipWithError("the stream did not end");
        answerBytes = row.size();
    }
    const double after = peakRssMB();
    state.counters["peak_rss_MB"] = after;
    state.counters["rss_growth_MB"] = after - before;
    state.counters["deliveries"] = static_cast<double>(deliveries);
    state.counters["answer_KB"] = static_cast<double>(answerBytes) / 1024.0;
    std::printf("%d pieces: peak RSS %.1f MB before, %.1f MB after\n", kPieces, before, after);
    service.stop();
    resetApiBaseURL();
    DeploymentSettings::resetToBuildDefaults();
}
BENCHMARK(BM_FloodedAnswer)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace pex
