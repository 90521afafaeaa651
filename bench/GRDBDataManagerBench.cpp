// The history database at the size of a heavy user: 10,000 interviews of 300 transcript lines.
// The pages call these operations on the UI thread, so each should stay under one frame
// (16 ms). Per-call console lines are sent to /dev/null; results are reported on stderr.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchScale.h"
#include "service/GRDBDataManager.h"

namespace pex {
namespace {

const int kInterviews = bench::scaled(10'000);
constexpr int kLinesPerInterview = 300;
constexpr std::int64_t kFirstId = 1'700'000'000;

std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

class HistoryFixture {
  public:
    HistoryFixture()
        : folder_(std::filesystem::temp_directory_path() /
                  ("pexmora-history-bench-" + std::to_string(std::random_device()()))) {
        std::filesystem::create_directories(folder_);
        manager_ = std::make_unique<GRDBDataManager>(folder_);
        fill();
    }
    ~HistoryFixture() {
        manager_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    GRDBDataManager& manager() { return *manager_; }

  private:
    void fill() {
        const std::string source = repeated("这是一句面试中识别出来的话", 2);
        const std::string result = "This is a sentence recognised during the interview.";
        const std::string answer = repeated("这是流式返回的完整回答。", 25);
        auto filled = manager_->dbQueue()->write([&](Database& db) -> DatabaseStatus {
            for (int i = 0; i < kInterviews; ++i) {
                const std::int64_t id = kFirstId + i * 3600;
                const double start = static_cast<double>(id) + 0.25;
                const std::string title = "AI面试" + std::to_string(240000 + i) + "_070809";
                HistoryRecord interview{id,        title, start, title, "中文",
                                        "English", 1,     i % 2, title, "2024-03-05 07:08:09"};
                if (auto s = db.insert(interview); !s) return s;
                for (int n = 0; n < kLinesPerInterview; ++n) {
                    TranslationDetailRecord line{
                        .historyId = id,
                        .time = "2024-03-05 07:08:10",
                        .timeStr = start + n * 2.5,
                        .sourceText = source,
                        .resultText = result,
                        .sourceColor = "#f9f9f9",
                        .resultColor = "#f9f9f9",
                        .streamID = id + n * 2,
                        .aiResultText = n % 10 == 0 ? answer : "",
                        .startTime = n * 2500,
                        .endTime = 0,
                    };
                    if (auto s = db.insert(line); !s) return s;
                }
            }
            return DatabaseSuccess{};
        });
        if (!filled) {
            std::cerr << "filling the database failed: " << filled.error().description() << "\n";
            std::abort();
        }
    }

    std::filesystem::path folder_;
    std::unique_ptr<GRDBDataManager> manager_;
};

HistoryFixture& fixture() {
    static HistoryFixture instance;
    return instance;
}

const std::int64_t kMiddleInterview = kFirstId + (kInterviews / 2) * 3600;

void BM_fetchAllHistory(benchmark::State& state) {
    auto& manager = fixture().manager();
    for (auto _ : state) {
        auto all = manager.fetchAllHistory();
        if (all.size() != static_cast<std::size_t>(kInterviews))
            state.SkipWithError("wrong number of interviews");
        benchmark::DoNotOptimize(all);
    }
}
BENCHMARK(BM_fetchAllHistory)->Unit(benchmark::kMillisecond);

// "AI面试" is in every name (the whole list comes back); "24512" in a few.
void BM_searchHistory(benchmark::State& state) {
    auto& manager = fixture().manager();
    const std::string text = state.range(0) == 0 ? "AI面试" : "24512";
    state.SetLabel(state.range(0) == 0 ? "matches all" : "matches few");
    for (auto _ : state) {
        auto found = manager.searchHistory(text);
        if (!found) state.SkipWithError(found.error().description().c_str());
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_searchHistory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_fetchTranslationDetails(benchmark::State& state) {
    auto& manager = fixture().manager();
    for (auto _ : state) {
        auto lines = manager.fetchTranslationDetails(kMiddleInterview);
        if (lines.size() != kLinesPerInterview) state.SkipWithError("wrong number of lines");
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_fetchTranslationDetails)->Unit(benchmark::kMillisecond);

void BM_insertTranslationDetail(benchmark::State& state) {
    auto& manager = fixture().manager();
    TranslationDetailRecord line{.historyId = kMiddleInterview,
                                 .time = "2024-03-05 09:00:00",
                                 .timeStr = 1.0e9,
                                 .sourceText = "新的一句话",
                                 .resultText = "A new sentence.",
                                 .sourceColor = "#f9f9f9",
                                 .resultColor = "#f9f9f9",
                                 .streamID = 42,
                                 .aiResultText = "",
                                 .startTime = 0,
                                 .endTime = 0};
    for (auto _ : state) {
        manager.insertTranslationDetail(line);
        line.timeStr += 1;
    }
}
BENCHMARK(BM_insertTranslationDetail)->Unit(benchmark::kMillisecond);

void BM_updateAIResultText(benchmark::State& state) {
    auto& manager = fixture().manager();
    const std::string answer = repeated("这是流式返回的完整回答。", 50);
    std::int64_t n = 0;
    for (auto _ : state) {
        manager.updateAIResultText(kMiddleInterview, kMiddleInterview + (n++ % 300) * 2, answer);
    }
}
BENCHMARK(BM_updateAIResultText)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pex

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Every operation writes its console line; keep them out of the report.
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    std::cerr << "Filling the database: " << pex::kInterviews << " interviews x "
              << pex::kLinesPerInterview << " lines..." << std::endl;
    pex::fixture();
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
