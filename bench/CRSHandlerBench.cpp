// How long the shared crash body takes from entering the handler to the last section written,
// with every other thread stopped and unwound, and how large the record gets. Arguments:
// threads parked beside the handler's thread, frames deep each (64 or 16).
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSHandler.h"

namespace {

using namespace pex;

const std::filesystem::path& benchRoot() {
    static const std::filesystem::path root = [] {
        auto path = std::filesystem::temp_directory_path() / "pexmora-handler-bench";
        std::filesystem::create_directories(path);
        CRSContextAllocate();
        CRSContextSetRootPath(path.c_str());
        CRSContextSetPreviouslyCrashedRootPath(path.c_str());
        CRSContextInitializeHost();
        CRSBinaryImageInit();
        CRSBinaryImageQueue().sync([] {});
        CRSContextCompleteInitialization();
        return path;
    }();
    return root;
}

// Blocks on the pipe `depth` frames deep. Every frame is its own function, as in a real stack:
// distinct return addresses rather than one recursive function's.
template <int depth>
__attribute__((noinline)) int parkAtDepth(int fd, std::atomic<int>* ready) {
    if constexpr (depth > 1) {
        return parkAtDepth<depth - 1>(fd, ready) + 1;
    } else {
        ready->fetch_add(1);
        char byte = 0;
        while (read(fd, &byte, 1) < 0 && errno == EINTR) {
        }
        return byte;
    }
}

void crashBody(benchmark::State& state) {
    const auto root = benchRoot();
    const int threadCount = static_cast<int>(state.range(0));
    const int depth = static_cast<int>(state.range(1));
    int fds[2];
    if (pipe(fds) != 0) {
        state.SkipWithError("pipe");
        return;
    }
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back([&] {
            benchmark::DoNotOptimize(depth == 64 ? parkAtDepth<64>(fds[0], &ready)
                                                 : parkAtDepth<16>(fds[0], &ready));
        });
    }
    while (ready.load() < threadCount) std::this_thread::yield();

    const std::string path = (root / "signal.clsrecord").string();
    const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
    std::uint64_t recordSize = 0;
    for (auto _ : state) {
        CRSFile file;
        CRSFileInitWithPathMode(&file, path.c_str(), false, true);
        CRSHandler(&file, self, nullptr, true);
        CRSFileCloseWithOffset(&file, &recordSize);
    }
    state.counters["record_bytes"] = static_cast<double>(recordSize);

    close(fds[1]);
    for (std::thread& thread : threads) thread.join();
    close(fds[0]);
}

BENCHMARK(crashBody)->Args({50, 64})->Args({10, 16})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
