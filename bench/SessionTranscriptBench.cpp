// The live session window with a long interview: appending a final sentence to a transcript of
// 500, 2,000 and 10,000 rows (the row, its stored line, its height and the table's reload and
// layout), a partial sentence changing the live row, and a streamed piece growing a
// 5,000-character answer. Billing is pointed at a closed local port, so nothing else runs.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <iostream>

#include <benchmark/benchmark.h>

#include "Main/ContentWindow.h"
#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"
#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/foundation/StandardFolders.h"
#include "service/ApiBaseURL.h"
#include "service/GRDBDataManager.h"
#include "service/HistoryRecord.h"
#include "service/HttpDatas.h"

namespace pex {
namespace {

class SilentAlerts : public ServiceAlertPresenter {
  public:
    void presentAlert(const std::string&, const std::string&) override {}
};

const std::string kSentence =
    "请先简单介绍一下你自己，以及你为什么想应聘这个岗位，你的优势是什么？";

struct Session {
    Session() {
        HistoryRecord history;
        history.id = 1;
        const std::int64_t id = GRDBDataManager::shared().insertHistory(history).value_or(1);
        AIInterviewModel model = AIInterviewModel::defaultRecord();
        model.modelType = 1;
        controller = new AIInterviewDetailController(model, id, "AI面试250101_000000");
        window = AIInterviewDetailWindow::open(controller, nullptr);
        while (!controller->hasEnded()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
    }
    // Rows straight into the transcript, then one layout so that every height is measured.
    void fillTo(std::size_t rows) {
        PXTranslationHistoryDetailsModel row;
        row.sourceText = kSentence;
        while (controller->topArr.size() < rows) controller->topArr.push_back(row);
        while (controller->topArr.size() > rows) controller->topArr.pop_back();
        controller->reloadTranscriptTable();
        QCoreApplication::processEvents();
    }
    ContentWindow* window;
    AIInterviewDetailController* controller;
};

Session& session() {
    static Session instance;
    return instance;
}

void BM_appendFinalSentence(benchmark::State& state) {
    Session& s = session();
    const auto rows = static_cast<std::size_t>(state.range(0));
    s.fillTo(rows);
    for (auto _ : state) {
        s.controller->handleFinalResult(kSentence, "");
        QCoreApplication::processEvents();  // the table's layout and drawing that follow
        state.PauseTiming();
        s.controller->topArr.pop_back();  // the same row count for every step
        state.ResumeTiming();
    }
}
BENCHMARK(BM_appendFinalSentence)->Arg(500)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_liveRowUpdate(benchmark::State& state) {
    Session& s = session();
    s.fillTo(10000);
    int n = 0;
    for (auto _ : state) {
        s.controller->handleIntermediateResult(kSentence.substr(0, 3 * (1 + n++ % 20)), "");
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_liveRowUpdate)->Unit(benchmark::kMillisecond);

void BM_streamedPieceInto5000CharacterAnswer(benchmark::State& state) {
    Session& s = session();
    std::string answer;
    while (answer.size() < 5000 * 3) answer += "好的，我来回答这个问题。";
    s.controller->streamModels.assign(
        1, std::make_shared<AIInterviewDetailController::AnswerRow>(
               AIInterviewDetailController::AnswerRow{1, "问题", answer}));
    s.controller->reloadAnswerTable();
    for (auto _ : state) {
        s.controller->streamModels[0]->responseText += "好";
        s.controller->reloadAnswerTable();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_streamedPieceInto5000CharacterAnswer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pex

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pex::installQtMainQueueDriver();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    QTemporaryDir root;
    pex::StandardFolders::setRootForTesting(root.path().toStdString());
    pex::setApiBaseURL("http://127.0.0.1:1/api/v1");  // refused at once: no session runs
    pex::HttpDatas::shared().setAlertPresenter(std::make_shared<pex::SilentAlerts>());
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
