// Event storage throughput: storing 1 KB events one file each (with the CPU time each costs,
// beside the plain rate of writing one file per event on the same file system), batching 5,000
// of them, and a store that first has to walk the whole store because its size cache was reset.
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPPlatform.h"
#include "BenchScale.h"

namespace {

using namespace pex;
namespace fs = std::filesystem;

class KilobyteObject : public TXPEventDataObject {
  public:
    std::string transportBytes() const override { return std::string(1024, 'p'); }
};

// On the disk's temporary folder, or in memory (/dev/shm) to tell the storage's own cost from
// the file system's cost of making one inode per event.
struct ScratchFolder {
    explicit ScratchFolder(bool inMemory = false) {
        fs::path base = inMemory && fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                                 : fs::temp_directory_path();
        std::string pattern = (base / "txp-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() { fs::remove_all(path); }
    fs::path path;
};

TXPEvent kilobyteEvent() {
    TXPEvent event = *TXPEvent::make("1974", 1001);
    static auto object = std::make_shared<KilobyteObject>();
    event.setDataObject(object);
    event.setClockSnapshot(TXPClock::snapshot());
    return event;
}

// Stores `count` events and waits for the last one.
void storeEvents(TXPFlatFileStorage& storage, int count) {
    std::promise<void> done;
    for (int i = 0; i < count; ++i) {
        bool last = i == count - 1;
        storage.storeEvent(kilobyteEvent(), [&, last](bool, ErrorRef) {
            if (last) done.set_value();
        });
    }
    done.get_future().get();
}

const int kEvents = pex::bench::scaled(10'000);
const int kBatchEvents = pex::bench::scaled(5'000);

// CPU time of the whole process: the storage works on a queue of its own.
double processCPUSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Runs `writeEvents(folder)` once per iteration in a fresh folder on disk (argument 0) or in
// memory (1), and reports events per second and the process's CPU time per event.
template <typename WriteEvents>
void measureEventWrites(benchmark::State& state, WriteEvents writeEvents) {
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = std::make_unique<ScratchFolder>(state.range(0) == 1);
        state.ResumeTiming();
        const double before = processCPUSeconds();
        writeEvents(folder->path);
        cpu += processCPUSeconds() - before;
        state.PauseTiming();
        folder.reset();  // deleting 10,000 files is no part of writing them
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    state.counters["cpu_us_per_event"] = cpu / (double(state.iterations()) * kEvents) * 1e6;
    state.SetLabel(state.range(0) == 1 ? "in memory" : "on disk");
}

// Making, stamping and storing each event, as a producer's send does.
void BM_Store10000KilobyteEvents(benchmark::State& state) {
    measureEventWrites(state, [](const fs::path& root) {
        auto storage = TXPFlatFileStorage::make(root);
        storeEvents(*storage, kEvents);
    });
}
BENCHMARK(BM_Store10000KilobyteEvents)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// One new file per event in `folder`, each holding `archive`, nothing else (no flush, as the
// store does none either); `throughRename`: each written under a hidden name first and renamed.
bool writeRawFiles(const fs::path& folder, const std::string& archive, bool throughRename) {
    const std::string prefix = (folder / "event-").string();
    const std::string hiddenPrefix = (folder / ".event-").string();
    for (int i = 0; i < kEvents; ++i) {
        const std::string file = prefix + std::to_string(i);
        const std::string written = throughRename ? hiddenPrefix + std::to_string(i) : file;
        int fd = ::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        bool done =
            fd >= 0 && ::write(fd, archive.data(), archive.size()) == ssize_t(archive.size());
        if (fd >= 0) ::close(fd);
        if (done && throughRename) done = ::rename(written.c_str(), file.c_str()) == 0;
        if (!done) return false;
    }
    return true;
}

// The floor for one file per event: each event's archive written to a new file of its own,
// nothing else. Compare its items per second with the storage's on the same file system.
void BM_RawOneFilePerEventWrites(benchmark::State& state) {
    const std::string archive = TXPEncodeArchive(kilobyteEvent(), std::nullopt);
    measureEventWrites(state, [&](const fs::path& root) {
        if (!writeRawFiles(root, archive, false)) state.SkipWithError("raw write failed");
    });
}
BENCHMARK(BM_RawOneFilePerEventWrites)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The store against the raw floor on disk, in turns, each in a fresh folder as deep as the
// store's own event folder; beside them the raw files published the way the store did before,
// through a hidden named file and a rename. A file system that passes over recently freed
// inodes when it makes a file (ext4 without a journal does) makes every file slower the more
// files were deleted a moment before, so benchmarks one after the other, each deleting its
// 10,000 files, would compare the disk's recent history rather than the writers. Here the
// folders are deleted only after the last turn, and the writer that goes first changes every
// turn.
void BM_StoreAgainstRawOnDisk(benchmark::State& state) {
    enum Writer { kStore, kRaw, kRawThroughRename };
    const std::string archive = TXPEncodeArchive(kilobyteEvent(), std::nullopt);
    std::vector<std::unique_ptr<ScratchFolder>> folders;
    double seconds[3] = {0, 0, 0};
    int turn = 0;
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            const auto writer = static_cast<Writer>((turn + i) % 3);
            state.PauseTiming();
            folders.push_back(std::make_unique<ScratchFolder>());
            const fs::path root = folders.back()->path;
            const fs::path eventFolder = root / "TXPFlatFileStorage" / "gdt_event_data" / "1001";
            if (writer != kStore) fs::create_directories(eventFolder);
            state.ResumeTiming();
            const auto start = std::chrono::steady_clock::now();
            if (writer == kStore) {
                auto storage = TXPFlatFileStorage::make(root);
                storeEvents(*storage, kEvents);
            } else if (!writeRawFiles(eventFolder, archive, writer == kRawThroughRename)) {
                state.SkipWithError("raw write failed");
                return;
            }
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            seconds[writer] += took.count();
        }
        ++turn;
    }
    folders.clear();  // after the timed loop
    const double events = double(state.iterations()) * kEvents;
    state.counters["store_per_s"] = events / seconds[kStore];
    state.counters["raw_per_s"] = events / seconds[kRaw];
    state.counters["raw_renamed_per_s"] = events / seconds[kRawThroughRename];
    state.counters["store_to_raw"] = seconds[kRaw] / seconds[kStore];
}
BENCHMARK(BM_StoreAgainstRawOnDisk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

void BM_Batch5000Events(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFolder folder;
        auto storage = TXPFlatFileStorage::make(folder.path);
        storeEvents(*storage, kBatchEvents);
        state.ResumeTiming();
        std::promise<std::size_t> done;
        storage->batchWithEventSelector(
            TXPStorageEventSelector(1001, std::nullopt, std::nullopt, std::set<std::int64_t>{3}),
            TXPDateNow() + std::chrono::minutes(10), [&](auto, std::optional<TXPEventSet> events) {
                done.set_value(events ? events->size() : 0);
            });
        if (done.get_future().get() != static_cast<std::size_t>(kBatchEvents))
            state.SkipWithError("batch incomplete");
    }
    state.SetItemsProcessed(state.iterations() * kBatchEvents);
}
BENCHMARK(BM_Batch5000Events)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_StoreAfterSizeCacheReset(benchmark::State& state) {
    ScratchFolder folder;
    auto storage = TXPFlatFileStorage::make(folder.path);
    storeEvents(*storage, kEvents);
    for (auto _ : state) {
        state.PauseTiming();
        storage->storageQueue().sync([&] { storage->sizeTracker().resetCachedSize(); });
        state.ResumeTiming();
        storeEvents(*storage, 1);
    }
}
BENCHMARK(BM_StoreAfterSizeCacheReset)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

}  // namespace
