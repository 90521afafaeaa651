// The next launch's work on a crashed report: symbolication of a 50-thread crash file (30 frames
// a thread, in this program's own functions, half of them only in its full symbol table), and
// the encoding of a report folder of about 1 MB as the crash report message.
//
// Counters: frames (resolved per run), folder_MB (record files of the folder), peak_heap_MB
// (highest heap in use through operator new above the level before, over one encoding).
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <nlohmann/json.hpp>

#include "HeapCounter.h"
#include "crashreporter/reports/CRSProcessReportOperation.h"
#include "crashreporter/reports/CRSReportAdapter.h"
#include "crashreporter/reports/CRSSymbolResolver.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSFileReader.h"

namespace {

using namespace pex;

__attribute__((noinline)) int internalFunction(int value) {
    return value * 7 + 3;
}

std::filesystem::path scratchFolder(const char* name) {
    const auto folder = std::filesystem::temp_directory_path() /
                        (std::string("crs-bench-") + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// The executable as the crash-time image file records it, at another base.
void writeImagesAndThreads(const std::filesystem::path& folder) {
    const std::string executable = (folder / "executable").string();
    CRSFile file{};
    CRSFileInit(&file, executable.c_str(), false);
    CRSBinaryImageRecordMainExecutable(&file);
    CRSFileClose(&file);
    const auto entry = CRSFileReadSections(executable.c_str(), false)->front()["executable"];
    const std::uint64_t base = entry["base"];
    const std::uint64_t crashBase = 0x7000'0000'0000;
    std::ofstream(folder / "binary_images.clsrecord")
        << nlohmann::json{{"load",
                           {{"path", "/opt/app/bench"},
                            {"uuid", entry["uuid"]},
                            {"base", crashBase},
                            {"size", entry["size"]}}}}
               .dump()
        << "\n";
    const auto exported =
        reinterpret_cast<std::uint64_t>(&CRSReportAdapter::protoPlatformFromString);
    const auto internal = reinterpret_cast<std::uint64_t>(&internalFunction);
    nlohmann::json threads = nlohmann::json::array();
    for (int t = 0; t < 50; ++t) {
        nlohmann::json stack = nlohmann::json::array();
        for (int f = 0; f < 30; ++f) {
            stack.push_back(crashBase + ((f % 2 ? internal : exported) - base) + 4);
        }
        threads.push_back({{"crashed", t == 0}, {"stacktrace", stack}});
    }
    std::ofstream(folder / "signal.clsrecord")
        << nlohmann::json{{"threads", threads}}.dump() << "\n";
}

void BM_Symbolicate50Threads(benchmark::State& state) {
    const auto folder = scratchFolder("symbolicate");
    writeImagesAndThreads(folder);
    const std::string crashFile = (folder / "signal.clsrecord").string();
    for (auto _ : state) {
        CRSSymbolResolver resolver;
        resolver.loadBinaryImagesFromFile((folder / "binary_images.clsrecord").string());
        benchmark::DoNotOptimize(CRSProcessReportOperation::symbolicateFile(crashFile, resolver));
    }
    const auto written = CRSFileReadSections((crashFile + ".symbolicated").c_str(), false);
    if (!written || (*written)[0]["threads"].size() != 50 ||
        (*written)[0]["threads"][0][1]["symbol"] !=
            "(anonymous namespace)::internalFunction(int)") {
        state.SkipWithError("the frames were not resolved");
    }
    state.counters["frames"] = 50 * 30;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Symbolicate50Threads)->Unit(benchmark::kMillisecond);

void BM_EncodeReportFolder1MB(benchmark::State& state) {
    const auto folder = scratchFolder("encode");
    const auto filler = [](std::size_t size, char c) { return std::string(size, c); };
    // A record of about `size` bytes that reads as one JSON line, as records are written.
    const auto record = [&](std::size_t size, char c) {
        return R"({"pad":")" + filler(size, c) + "\"}\n";
    };
    std::ofstream(folder / "metadata.clsrecord")
        << R"({"identity":{"build_version":"11.2.0","app_quality_session_id":"aqs"}})"
           "\n"
        << R"({"host":{"platform":"mac"}})"
           "\n"
        << R"({"application":{"build_version":"412","display_version":"4.1"}})"
           "\n";
    std::ofstream(folder / "signal.clsrecord") << record(600'000, 's');
    std::ofstream(folder / "signal.clsrecord.symbolicated") << record(300'000, 'y');
    std::ofstream(folder / "binary_images.clsrecord") << record(100'000, 'b');
    std::ofstream(folder / "sdk.log") << filler(50'000, 'l');
    long long peakAbove = 0;
    std::size_t encoded = 0;
    for (auto _ : state) {
        peakAbove = std::max(peakAbove, pex::bench::peakHeapAbove([&] {
                                 const CRSReportAdapter adapter(folder.string(), "app", nullptr,
                                                                "fid", "token");
                                 const auto bytes = adapter.transportBytes();
                                 encoded = bytes.size();
                                 benchmark::DoNotOptimize(bytes.data());
                             }));
    }
    if (encoded < 1'000'000) state.SkipWithError("the files were not all encoded");
    state.counters["folder_MB"] = 1.0;
    state.counters["message_MB"] = static_cast<double>(encoded) / 1e6;
    state.counters["peak_heap_MB"] = static_cast<double>(peakAbove) / 1e6;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_EncodeReportFolder1MB)->Unit(benchmark::kMillisecond);

}  // namespace
