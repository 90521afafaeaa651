// From a final sentence to its question on the wire: the time from handing a running session
// window a final sentence (automatic answers) to the stand-in on 127.0.0.1 receiving its
// "/ai/meet" request, with a transcript of 500 and of 10,000 rows. The session runs against the
// stand-in with the fake capture device and recogniser, on the manual clock (no ticks).
//
// Counters: p50_ms, p90_ms, max_ms over the iterations (each iteration's time is that latency).
#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"
#include "QtBenchMain.h"
#include "Tools/ContentWindow.h"
#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/audiotoolbox/FakeCaptureDevice.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/speech/FakeSpeechBackend.h"
#include "service/ApiBaseURL.h"
#include "service/GRDBDataManager.h"
#include "service/HistoryRecord.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"

namespace pex {
namespace {

using Steady = std::chrono::steady_clock;

class SilentAlerts : public ServiceAlertPresenter {
  public:
    void presentAlert(const std::string&, const std::string&) override {}
};

const std::string kSentence = "请先简单介绍一下你自己，以及你为什么想应聘这个岗位？";

bool runEventsUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = Steady::now() + limit;
    while (!done() && Steady::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

struct RunningSession {
    RunningSession() {
        service.start();
        DeploymentSettings::useSingleOrigin(*Origin::parse(service.origin()));
        setApiBaseURL(service.apiBase());
        SettingsStore::set(SettingsKeys::loginToken, service.state().issueToken("13800138000"));
        service.state().setBalance("13800138000", 600000);
        service.addApiPath("POST", "/ai/meet", [this](const standin::Call&) {
            arrived.store(Steady::now().time_since_epoch().count());
            return standin::Reply::stream(
                {"data: " + nlohmann::json{{"data", {{"content", "好的"}}}}.dump() + "\n"});
        });
        AIInterviewDetailController::setAudioRouteRestorer([] {});
        HistoryRecord history;
        history.id = 1;
        const std::int64_t id = GRDBDataManager::shared().insertHistory(history).value_or(1);
        AIInterviewModel model = AIInterviewModel::defaultRecord();
        model.modelType = 1;
        model.antoAnswerType = 0;  // automatic answers: each final sentence is asked
        controller = new AIInterviewDetailController(model, id, "AI面试250101_000000");
        window = AIInterviewDetailWindow::open(controller);
        running =
            runEventsUntil([this] { return controller->isTranslating; }, std::chrono::seconds(20));
    }
    void fillTo(std::size_t rows) {
        PXTranslationHistoryDetailsModel row;
        row.sourceText = kSentence;
        while (controller->topArr.size() < rows) controller->topArr.push_back(row);
        while (controller->topArr.size() > rows) controller->topArr.pop_back();
        controller->streamModels.clear();
        controller->recomputeAnswerHeights();
        controller->recomputeTranscriptHeights();
        controller->reloadTranscriptTable();
        controller->reloadAnswerTable();
        QCoreApplication::processEvents();
    }
    ScopedManualClock manual;
    std::shared_ptr<FakeCaptureDevice> capture = FakeCaptureDevice::install();
    std::shared_ptr<FakeSpeechBackend> speech = FakeSpeechBackend::install();
    standin::StandinService service;
    std::atomic<Steady::rep> arrived{0};
    AIInterviewDetailController* controller = nullptr;
    ContentWindow* window = nullptr;
    bool running = false;
};

RunningSession& session() {
    static RunningSession* s = new RunningSession;  // lives to the end of the process
    return *s;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// Arg: transcript rows before the sentence.
void BM_finalSentenceToQuestionOnTheWire(benchmark::State& state) {
    RunningSession& s = session();
    if (!s.running) {
        state.SkipWithError("the session did not start");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        state.PauseTiming();
        s.fillTo(static_cast<std::size_t>(state.range(0)));
        s.arrived.store(0);
        state.ResumeTiming();
        const Steady::time_point start = Steady::now();
        s.controller->handleFinalResult(kSentence, "");
        // The request travels on its own threads: the main thread waits without running.
        const auto deadline = Steady::now() + std::chrono::seconds(5);
        while (s.arrived.load() == 0 && Steady::now() < deadline) std::this_thread::yield();
        if (s.arrived.load() == 0) {
            state.SkipWithError("the question never arrived");
            break;
        }
        const double seconds = std::chrono::duration<double>(Steady::duration(s.arrived.load()) -
                                                             start.time_since_epoch())
                                   .count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1000);
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["p50_ms"] = percentile(latencies, 0.5);
    state.counters["p90_ms"] = percentile(latencies, 0.9);
    state.counters["max_ms"] = percentile(latencies, 1.0);
}
BENCHMARK(BM_finalSentenceToQuestionOnTheWire)
    ->Arg(500)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pex

int main(int argc, char** argv) {
    return pex::bench::runQtBenchMain(argc, argv, [](benchmark::BenchmarkReporter& reporter) {
        pex::HttpDatas::shared().setAlertPresenter(std::make_shared<pex::SilentAlerts>());
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
        std::_Exit(0);  // the session is left running: no teardown races the application's end
    });
}
