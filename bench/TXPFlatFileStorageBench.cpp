// Event storage throughput: storing 1 KB events one file each (with the CPU time each costs,
// beside the plain rate of writing one file per event on the same file system), batching 5,000
// of them, and a store that first has to walk the whole store because its size cache was reset.
#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <memory>

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

// The floor for one file per event: each event's archive written to a new file of its own,
// nothing else. Compare its items per second with the storage's on the same file system.
void BM_RawOneFilePerEventWrites(benchmark::State& state) {
    const std::string archive = TXPEncodeArchive(kilobyteEvent(), std::nullopt);
    measureEventWrites(state, [&](const fs::path& root) {
        const std::string prefix = (root / "event-").string();
        for (int i = 0; i < kEvents; ++i) {
            const std::string file = prefix + std::to_string(i);
            int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 || ::write(fd, archive.data(), archive.size()) != ssize_t(archive.size())) {
                state.SkipWithError("raw write failed");
                if (fd >= 0) ::close(fd);
                return;
            }
            ::close(fd);
        }
    });
}
BENCHMARK(BM_RawOneFilePerEventWrites)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

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
