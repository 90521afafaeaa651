// Memory of the résumé upload: a form above 10,000,000 bytes is written to a temporary file and
// streamed from it, so the upload's peak heap stays far below the file's size; a smaller form is
// built in memory (its peak is about its size, for contrast). Runs against the local stand-in
// service on 127.0.0.1, which reads the upload in pieces and keeps none of it.
//
// Counters: file_MB (size of the uploaded file), peak_heap_MB (highest heap in use above the
// level before the upload, over the whole upload, stand-in included).
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <random>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include "HeapCounter.h"
#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"
#include "service/HttpDatas.h"
#include "standin-service/StandinService.h"
#include "standin-service/StandinState.h"

namespace {

namespace fs = std::filesystem;
using pex::standin::StandinService;

// A folder of its own for settings, temporary files and the file to upload.
struct Workspace {
    Workspace() {
        root =
            fs::temp_directory_path() / ("pexmora-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(root);
        pex::UserDefaults::setRootDirectory(root / "config");
        pex::StandardFolders::setRootForTesting(root / "home");
    }
    ~Workspace() {
        pex::StandardFolders::setRootForTesting(std::nullopt);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    fs::path makeFile(std::size_t bytes) const {
        const fs::path file = root / "简历.docx";
        std::ofstream out(file, std::ios::binary);
        std::string block(1 << 16, 'r');
        for (std::size_t written = 0; written < bytes; written += block.size()) {
            out.write(block.data(),
                      static_cast<std::streamsize>(std::min(block.size(), bytes - written)));
        }
        return file;
    }
    fs::path root;
};

void uploadOnce(const fs::path& file, const std::string& key, benchmark::State& state) {
    std::optional<bool> done;
    pex::HttpDatas::shared().uploadFile(
        file, key, [&](auto failed, auto, auto) { done = failed.has_value() && !*failed; });
    pex::MainQueue::runUntil([&] { return done.has_value(); }, std::chrono::seconds(60));
    if (!done.value_or(false)) state.SkipWithError("the upload failed");
}

void uploadBench(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    pex::MainQueue::adoptCurrentThreadAsMain();
    Workspace workspace;
    StandinService service;
    if (service.start() == 0) {
        state.SkipWithError("cannot start the stand-in service");
        return;
    }
    pex::DeploymentSettings::useSingleOrigin(*pex::Origin::parse(service.origin()));
    const std::string key = service.state().issueProviderKey();
    const fs::path file = workspace.makeFile(bytes);
    uploadOnce(file, key, state);  // warms up the session and the stand-in

    long long peakAbove = 0;
    for (auto _ : state) {
        peakAbove =
            std::max(peakAbove, pex::bench::peakHeapAbove([&] { uploadOnce(file, key, state); }));
    }
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_heap_MB"] = static_cast<double>(peakAbove) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    // The streamed path is meant to stay far below the file; flag it when it does not.
    if (bytes > 10'000'000 && peakAbove * 4 > static_cast<long long>(bytes)) {
        state.SkipWithError("a streamed upload held a large part of the file in memory");
    }
    pex::DeploymentSettings::resetToBuildDefaults();
}

}  // namespace

BENCHMARK(uploadBench)
    ->Name("UploadStreamedFromFile")
    ->Arg(12'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(uploadBench)
    ->Name("UploadBuiltInMemory")
    ->Arg(5'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
