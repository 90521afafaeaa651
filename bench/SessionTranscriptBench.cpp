// The live session window with a long interview: appending a final sentence to a transcript of
// 500, 2,000 and 10,000 rows (the row, its stored line, its height and the table's reload and
// layout), a partial sentence changing the live row, a width or font change of the transcript
// at 500 and 10,000 rows, and a streamed piece growing a 5,000-character answer (one Chinese
// paragraph without a break, and paragraphs of Chinese with English terms). Each step ends with
// one pass of the event loop, in which the table draws. Billing is pointed at a closed local
// port, so nothing else runs.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <iostream>

#include <benchmark/benchmark.h>

#include "Page/AIInterviewPages/AIInterviewDetailController.h"
#include "Page/AIInterviewPages/AIInterviewDetailWindow.h"
#include "QtBenchMain.h"
#include "Tools/ContentWindow.h"
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
        window = AIInterviewDetailWindow::open(controller);
        while (!controller->hasEnded()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
    }
    // Rows straight into the transcript, then one layout so that every height is measured.
    void fillTo(std::size_t rows) {
        PXTranslationHistoryDetailsModel row;
        row.sourceText = kSentence;
        while (controller->topArr.size() < rows) controller->topArr.push_back(row);
        while (controller->topArr.size() > rows) controller->topArr.pop_back();
        controller->recomputeTranscriptHeights();
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
        s.controller->topCellHeight.pop_back();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_appendFinalSentence)->Arg(500)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A partial sentence at 500 or 10,000 rows; 0: it grows within its line; 1: it changes
// between one line and three on every step (the worst case: the rows are placed again).
void BM_liveRowUpdate(benchmark::State& state) {
    Session& s = session();
    s.fillTo(static_cast<std::size_t>(state.range(0)));
    const bool newHeights = state.range(1) == 1;
    const std::string long3Lines = kSentence + kSentence + kSentence + kSentence + kSentence;
    int n = 0;
    for (auto _ : state) {
        ++n;
        s.controller->handleIntermediateResult(
            newHeights ? (n % 2 ? long3Lines : kSentence) : kSentence.substr(0, 3 * (1 + n % 20)),
            "");
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_liveRowUpdate)
    ->Args({10000, 0})
    ->Args({500, 1})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond);

// Runs the event loop until every transcript row is measured at the current width and font.
void settle(Session& s) {
    while (s.controller->transcriptRowsToMeasure() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QCoreApplication::processEvents();
}

// The window made narrower or wider by 40 points at 500 or 10,000 rows, one step: the rows in
// view are measured at the new width at once, the others in slices later (a slice that falls
// due during the step counts in it).
void BM_tableWidthChange(benchmark::State& state) {
    Session& s = session();
    s.fillTo(static_cast<std::size_t>(state.range(0)));
    QWidget* window = s.controller->view()->window();
    const int width = window->width();
    int n = 0;
    for (auto _ : state) {
        window->resize(width - (++n % 2) * 40, window->height());
        QCoreApplication::processEvents();
    }
    window->resize(width, window->height());
    settle(s);
}
BENCHMARK(BM_tableWidthChange)->Arg(500)->Arg(10000)->Unit(benchmark::kMillisecond);

// The font made a point larger or smaller at 500 or 10,000 rows, one step.
void BM_fontSizeChange(benchmark::State& state) {
    Session& s = session();
    s.fillTo(static_cast<std::size_t>(state.range(0)));
    const int points = s.controller->fontSize;
    int n = 0;
    for (auto _ : state) {
        s.controller->fontSize = points + (++n % 2);
        s.controller->recomputeTranscriptHeights();
        s.controller->reloadTranscriptTable();
        QCoreApplication::processEvents();
    }
    s.controller->fontSize = points;
    s.controller->recomputeTranscriptHeights();
    settle(s);
}
BENCHMARK(BM_fontSizeChange)->Arg(500)->Arg(10000)->Unit(benchmark::kMillisecond);

// One slice of the rows a width change left to measure at 10,000 rows, with the rows placed
// again after it (the width changes again, untimed, once every row is measured).
void BM_measureTranscriptSlice(benchmark::State& state) {
    Session& s = session();
    s.fillTo(10000);
    QWidget* window = s.controller->view()->window();
    const int width = window->width();
    int n = 0;
    for (auto _ : state) {
        if (s.controller->transcriptRowsToMeasure() == 0) {
            state.PauseTiming();
            window->resize(width - (++n % 2) * 40, window->height());
            QCoreApplication::processEvents();
            state.ResumeTiming();
        }
        s.controller->measureTranscriptSlice();
        QCoreApplication::processEvents();
    }
    window->resize(width, window->height());
    settle(s);
}
BENCHMARK(BM_measureTranscriptSlice)->Unit(benchmark::kMillisecond);

// A 5,000-character answer: 0, one Chinese paragraph without a break; 1, paragraphs of Chinese
// with English terms, numbers and list items.
std::string answerOf5000Characters(int kind) {
    const std::string piece =
        kind == 0 ? "好的，我来回答这个问题。"
                  : "好的，我来回答这个问题。首先，我在上一家公司负责 React 和 TypeScript "
                    "前端架构，带领 5 人团队完成了 3 个项目的重构，性能提升了 40%。\n"
                    "1. 熟悉 Node.js、GraphQL 以及 CI/CD 流程；\n2. 做过 end-to-end testing。\n";
    std::string answer;
    while (QString::fromStdString(answer).size() < 5000) answer += piece;
    return answer;
}

void BM_streamedPieceInto5000CharacterAnswer(benchmark::State& state) {
    Session& s = session();
    auto row = std::make_shared<AIInterviewDetailController::AnswerRow>();
    row->id = 1;
    row->question = "问题";
    s.controller->streamModels.assign(1, row);
    s.controller->recomputeAnswerHeights();
    s.controller->reloadAnswerTable();
    std::string answer = answerOf5000Characters(static_cast<int>(state.range(0)));
    s.controller->updateAnswerRow(row, answer);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        answer += "好";
        s.controller->updateAnswerRow(row, answer);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_streamedPieceInto5000CharacterAnswer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pex

int main(int argc, char** argv) {
    return pex::bench::runQtBenchMain(argc, argv, [](benchmark::BenchmarkReporter& reporter) {
        pex::setApiBaseURL("http://127.0.0.1:1/api/v1");  // refused at once: no session runs
        pex::HttpDatas::shared().setAlertPresenter(std::make_shared<pex::SilentAlerts>());
        benchmark::RunSpecifiedBenchmarks(&reporter);
    });
}
