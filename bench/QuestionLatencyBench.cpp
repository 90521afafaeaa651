// From a final sentence to its question on the wire: the time from the speech service's
// sending the final phrase of a sentence on its socket to the stand-in on 127.0.0.1 receiving
// the "/ai/meet" request that asks about it, with a transcript of 500 and of 10,000 rows. The
// whole path runs as in the application: the cloud recogniser's connection reads the phrase on
// its thread, the recogniser's queue and the tool hand it to the main thread, the session window
// stores the line and starts the answer stream, whose request goes out on the URL session's
// thread. Sound comes from the fake capture device to the stand-in's speech endpoint, which
// ends a sentence after 300 ms of silence; the session runs on the manual clock (no ticks).
//
// Counters: p50_ms, p90_ms, max_ms over the iterations (each iteration's time is that latency).
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "BenchScale.h"
#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"
#include "QtBenchMain.h"
#include "Tools/ContentWindow.h"
#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/audiotoolbox/FakeCaptureDevice.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/speech/CloudSpeechBackend.h"
#include "service/ApiBaseURL.h"
#include "service/GRDBDataManager.h"
#include "service/HistoryRecord.h"
#include "service/HttpDatas.h"
#include "service/SettingsStore.h"
#include "standin-service/SpeechSocketServer.h"
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

// Runs the main thread's event loop as the application does, asleep until something is
// posted to it, until `done` or the time limit.
bool runEventsUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto deadline = Steady::now() + limit;
    QTimer deadlineCheck;  // wakes the loop now and then, so the limit holds
    deadlineCheck.start(50);
    while (!done() && Steady::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return done();
}

// Runs the event loop until nothing has kept it busy for `quiet` (at most a few seconds).
void runEventsUntilQuiet(std::chrono::milliseconds quiet) {
    const auto deadline = Steady::now() + std::chrono::seconds(3);
    auto quietSince = Steady::now();
    while (Steady::now() - quietSince < quiet && Steady::now() < deadline) {
        const auto before = Steady::now();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (Steady::now() - before > std::chrono::milliseconds(1)) quietSince = Steady::now();
    }
}

constexpr std::size_t kFrameBytes = 640;  // 20 ms of 16 kHz 16-bit mono, as the recorder takes it

// `count` frames of a 440 Hz tone loud enough to be heard as speech, or of silence.
std::vector<std::vector<std::uint8_t>> frames(int count, bool sound) {
    std::vector<std::vector<std::uint8_t>> made;
    for (int f = 0; f < count; ++f) {
        std::vector<std::uint8_t> frame(kFrameBytes, 0);
        for (std::size_t i = 0; sound && i < frame.size(); i += 2) {
            const auto sample = static_cast<std::int16_t>(
                12000 * std::sin(2 * M_PI * 440 * static_cast<double>(i / 2) / 16000.0));
            frame[i] = static_cast<std::uint8_t>(sample & 0xff);
            frame[i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xff);
        }
        made.push_back(std::move(frame));
    }
    return made;
}

// Stamps a moment from any thread; zero until then.
struct Moment {
    std::atomic<Steady::rep> at{0};
    void stamp() { at.store(Steady::now().time_since_epoch().count()); }
    bool isSet() const { return at.load() != 0; }
    Steady::time_point value() const { return Steady::time_point(Steady::duration(at.load())); }
};

struct RunningSession {
    RunningSession() {
        service.start();
        speech.start();
        SpeechBackend::setCurrent(std::make_shared<CloudSpeechBackend>(CloudSpeechEndpoints{
            speech.endpoint("/speech/recognition"), speech.endpoint("/speech/translation")}));
        speech.setPhraseSendingHandler([this] { phraseSent.stamp(); });
        DeploymentSettings::useSingleOrigin(*Origin::parse(service.origin()));
        setApiBaseURL(service.apiBase());
        SettingsStore::set(SettingsKeys::loginToken, service.state().issueToken("13800138000"));
        service.state().setBalance("13800138000", 600000);
        service.addApiPath("POST", "/ai/meet", [this](const standin::Call&) {
            questionArrived.stamp();
            DispatchQueue::main().async([] {});  // the waiting main thread looks again
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
        // What a session does once at its start (connections, the first statements, the
        // first answer) is not what a question costs later.
        for (int question = 0; running && question < bench::scaled(20); ++question)
            running = askOnce().has_value();
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
    // Speaks one sentence and its pause; the time from its final phrase to its question on
    // the wire, none when the question did not come.
    std::optional<double> askOnce() {
        static const auto sentence = frames(50, true);  // a second of speech
        static const auto pause = frames(15, false);    // the 300 ms of silence that end it
        phraseSent.at.store(0);
        questionArrived.at.store(0);
        // The sentence is heard and its partial results are shown before it ends: in a session
        // the window is done with them during the 300 ms of the pause.
        capture(sentence).join();
        runEventsUntil([&] { return controller->centerModel().has_value(); },
                       std::chrono::seconds(5));
        runEventsUntilQuiet(std::chrono::milliseconds(50));
        // The main thread waits in its event loop, as in a session, while the pause is heard.
        std::thread hearing = capture(pause);
        const bool arrived =
            runEventsUntil([&] { return questionArrived.isSet(); }, std::chrono::seconds(5));
        hearing.join();
        if (!arrived || !phraseSent.isSet()) return std::nullopt;
        return std::chrono::duration<double>(questionArrived.value() - phraseSent.value()).count();
    }
    // Hands `buffers` to the recorder from a thread of its own, as the capture thread does.
    std::thread capture(const std::vector<std::vector<std::uint8_t>>& buffers) {
        return std::thread([this, &buffers] {
            for (const auto& buffer : buffers) captureDevice->push(buffer);
        });
    }

    ScopedManualClock manual;
    std::shared_ptr<FakeCaptureDevice> captureDevice = FakeCaptureDevice::install();
    standin::SpeechSocketServer speech;
    standin::StandinService service;
    Moment phraseSent;
    Moment questionArrived;
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
        state.ResumeTiming();
        const std::optional<double> seconds = s.askOnce();
        if (!seconds) {
            state.SkipWithError("the question never arrived");
            break;
        }
        state.SetIterationTime(*seconds);
        latencies.push_back(*seconds * 1000);
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
    ->Iterations(bench::scaled(200))
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
