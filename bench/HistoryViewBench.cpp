// The history panel at the size of a heavy user: 10,000 stored interviews. A keystroke in the
// search field and a full reload each read the database off the main thread; what the main
// thread pays is putting the rows into the list (its first screen of rows laid out and drawn).
// Figures: the whole round trip of a reload and of a search, and the main thread's share.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <iostream>

#include <benchmark/benchmark.h>

#include "Page/History/HistoryView.h"
#include "QtBenchMain.h"
#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/foundation/StandardFolders.h"
#include "service/GRDBDataManager.h"

namespace pex {
namespace {

constexpr int kInterviews = 10'000;
constexpr std::int64_t kFirstId = 1'700'000'000;

void fill() {
    auto filled = GRDBDataManager::shared().dbQueue()->write([](Database& db) -> DatabaseStatus {
        for (int i = 0; i < kInterviews; ++i) {
            const std::int64_t id = kFirstId + i * 3600;
            const std::string name = "AI面试" + std::to_string(240000 + i) + "_070809";
            HistoryRecord interview{
                id,    name, static_cast<double>(id), name, "中文", "English", 1,
                i % 2, name, "2024-03-05 07:08:09"};
            if (auto s = db.insert(interview); !s) return s;
        }
        return DatabaseSuccess{};
    });
    if (!filled) {
        std::cerr << "filling the database failed\n";
        std::abort();
    }
}

struct Panel {
    Panel() {
        window.resize(1000, 700);
        panel = new HistoryView(&window);
        panel->setGeometry(window.rect());
        window.show();
        settle();
    }
    void settle() {
        while (panel->isLoadingList()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QCoreApplication::processEvents();
    }
    QWidget window;
    HistoryView* panel;
};

// Made in main() after the application object and gone before it: widgets must not outlive it.
Panel* thePanel = nullptr;

Panel& panel() {
    return *thePanel;
}

void BM_reloadRoundTrip(benchmark::State& state) {
    Panel& p = panel();
    for (auto _ : state) {
        p.panel->reload();
        p.settle();
        if (p.panel->records().size() != kInterviews) state.SkipWithError("rows missing");
    }
}
BENCHMARK(BM_reloadRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each keystroke alternates between two texts that match ten sessions each.
void BM_searchKeystrokeRoundTrip(benchmark::State& state) {
    Panel& p = panel();
    int n = 0;
    for (auto _ : state) {
        p.panel->searchTextField()->setText(n++ % 2 ? QStringLiteral("24512")
                                                    : QStringLiteral("24513"));
        p.settle();
        if (p.panel->records().size() != 10) state.SkipWithError("wrong matches");
    }
    p.panel->searchTextField()->clear();
    p.settle();
}
BENCHMARK(BM_searchKeystrokeRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

// The main thread's part of a full reload: 10,000 rows into the list, the first screen laid
// out and drawn.
void BM_showAllRowsOnMainThread(benchmark::State& state) {
    Panel& p = panel();
    const auto all = GRDBDataManager::shared().fetchAllHistory();
    SubtitleExportView* list = p.panel->contentView();
    for (auto _ : state) {
        list->dataArr = all;
        list->mTableView()->reloadData();
        list->mTableView()->viewport()->repaint();
    }
}
BENCHMARK(BM_showAllRowsOnMainThread)->Unit(benchmark::kMillisecond);

// What one keystroke costs the main thread before the rows come back: asking for the search.
// Only that is timed; each search is let finish before the next keystroke, so the database queue
// never holds a backlog of searches (unbounded typing would queue one per iteration), and the
// count is fixed because each untimed search costs milliseconds.
void BM_keystrokeOnMainThread(benchmark::State& state) {
    Panel& p = panel();
    int n = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        p.panel->searchTextField()->setText(QString::number(n++));
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        p.settle();
    }
    p.panel->searchTextField()->clear();
    p.settle();
}
BENCHMARK(BM_keystrokeOnMainThread)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime()
    ->Iterations(200);

}  // namespace
}  // namespace pex

int main(int argc, char** argv) {
    return pex::bench::runQtBenchMain(argc, argv, [](benchmark::BenchmarkReporter& reporter) {
        pex::fill();
        pex::Panel panel;
        pex::thePanel = &panel;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        pex::thePanel = nullptr;
    });
}
