// Event storage throughput: storing 1 KB events one file each, batching 5,000 of them, and a
// store that first has to walk the whole store because its size cache was reset.
#include <stdlib.h>

#include <filesystem>
#include <future>

#include <benchmark/benchmark.h>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"

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

void BM_Store10000KilobyteEvents(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFolder folder(state.range(0) == 1);
        auto storage = TXPFlatFileStorage::make(folder.path);
        state.ResumeTiming();
        storeEvents(*storage, 10'000);
    }
    state.SetItemsProcessed(state.iterations() * 10'000);
    state.SetLabel(state.range(0) == 1 ? "in memory" : "on disk");
}
BENCHMARK(BM_Store10000KilobyteEvents)
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
        storeEvents(*storage, 5'000);
        state.ResumeTiming();
        std::promise<std::size_t> done;
        storage->batchWithEventSelector(
            TXPStorageEventSelector(1001, std::nullopt, std::nullopt, std::set<std::int64_t>{3}),
            TXPDateNow() + std::chrono::minutes(10), [&](auto, std::optional<TXPEventSet> events) {
                done.set_value(events ? events->size() : 0);
            });
        if (done.get_future().get() != 5'000) state.SkipWithError("batch incomplete");
    }
    state.SetItemsProcessed(state.iterations() * 5'000);
}
BENCHMARK(BM_Batch5000Events)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_StoreAfterSizeCacheReset(benchmark::State& state) {
    ScratchFolder folder;
    auto storage = TXPFlatFileStorage::make(folder.path);
    storeEvents(*storage, 10'000);
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
