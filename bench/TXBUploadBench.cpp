// The upload path: encoding and gzipping a batch of 1,000 events, 10,000 stored events of
// mixed tiers uploaded end to end to the stand-in's telemetry endpoint, and 10,000 stored
// events behind a damaged batch counter carried through a failed round and a good one.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <set>

#include <benchmark/benchmark.h>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsController.h"
#include "BeaconTransport/cct/TXBCompressionHelper.h"
#include "BeaconTransport/cct/TXBLogRequest.h"
#include "BeaconTransport/cct/TXBUploader.h"
#include "BeaconTransport/cct/TXPEndpoints.h"
#include "BenchScale.h"
#include "standin-service/TelemetryServer.h"

namespace {

using namespace pex;
namespace fs = std::filesystem;

class Payload : public TXPEventDataObject {
  public:
    explicit Payload(int i)
        : bytes_("session start " + std::to_string(i) + std::string(180, 's')) {}
    std::string transportBytes() const override { return bytes_; }

  private:
    std::string bytes_;
};

TXPEvent event(int i, std::int64_t target) {
    TXPEvent made = *TXPEvent::make(i % 2 ? "1974" : "1206", target);
    made.setDataObject(std::make_shared<Payload>(i));
    made.setQosTier(i % 3 == 0 ? TXPEventTierImmediate : TXPEventTierStandard);
    made.setClockSnapshot(TXPClock::snapshot());
    return made;
}

void BM_EncodeAndGzip1000Events(benchmark::State& state) {
    TXPEventSet events;
    for (int i = 0; i < 1000; ++i) TXPEventSetAdd(events, event(i, 1001));
    std::size_t plain = 0, gzipped = 0;
    for (auto _ : state) {
        std::string body = TXBLogRequest::constructRequestProtoWithEvents(events);
        auto compressed = TXBCompressionHelper::gzippedData(body);
        plain = body.size();
        gzipped = compressed ? compressed->size() : 0;
        benchmark::DoNotOptimize(compressed);
    }
    state.counters["body_bytes"] = double(plain);
    state.counters["gzip_bytes"] = double(gzipped);
}
BENCHMARK(BM_EncodeAndGzip1000Events)->Unit(benchmark::kMillisecond);

const int kStoredEvents = pex::bench::scaled(10'000);

// The stand-in's telemetry endpoint for the whole benchmark.
struct Endpoint {
    Endpoint() {
        service.start();
        TXPEndpoints::setOriginForTesting(service.origin());
    }
    ~Endpoint() { TXPEndpoints::setOriginForTesting(std::nullopt); }
    standin::StandinService service;
    standin::TelemetryServer telemetry{service};
};

// A storage of its own with 10,000 events of target 1001, and an uploader over it.
struct StoredEvents {
    StoredEvents() {
        std::string pattern = (fs::temp_directory_path() / "txb-bench-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        storage = TXPFlatFileStorage::make(root);
        auto registrar = TXPRegistrar::make();
        registrar->registerStorage(storage, 1001);
        registrar->registerMetricsController(std::make_shared<TXPMetricsController>(storage), 1001);
        uploader = TXBUploader::make(registrar);
        std::promise<void> stored;
        for (int i = 0; i < kStoredEvents; ++i)
            storage->storeEvent(event(i, 1001), [&, i](bool, ErrorRef) {
                if (i == kStoredEvents - 1) stored.set_value();
            });
        stored.get_future().get();
    }
    ~StoredEvents() { fs::remove_all(root); }

    // One forced round (every tier), until the uploader is idle again.
    void uploadRound() {
        uploader->uploadTarget(1001, TXPNetworkWifi | TXPUploadForced);
        std::promise<void> idle;
        uploader->whenIdle([&] { idle.set_value(); });
        idle.get_future().get();
    }
    // Event files still in storage or in a batch.
    std::size_t eventsLeft() const {
        std::size_t left = 0;
        for (const auto& entry : fs::recursive_directory_iterator(root / "TXPFlatFileStorage"))
            if (entry.is_regular_file() &&
                entry.path().parent_path().filename() != "gdt_library_data")
                ++left;
        return left;
    }

    fs::path root;
    std::shared_ptr<TXPFlatFileStorage> storage;
    std::shared_ptr<TXBUploader> uploader;
};

void BM_Upload10000StoredEvents(benchmark::State& state) {
    Endpoint endpoint;
    for (auto _ : state) {
        state.PauseTiming();
        auto stored = std::make_unique<StoredEvents>();
        endpoint.telemetry.clear();
        state.ResumeTiming();
        stored->uploadRound();
        state.PauseTiming();
        std::size_t requests = 0, bytes = 0, events = 0;
        for (const auto& upload : endpoint.telemetry.uploads()) {
            ++requests;
            bytes += upload.rawBody.size();
            events += upload.eventCount();
        }
        state.counters["requests"] = double(requests);
        state.counters["events"] = double(events);
        state.counters["inflated_body_bytes"] = double(bytes);
        stored.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Upload10000StoredEvents)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The batch counter is damaged and the first round meets a server error: every event must
// still arrive in the round after, once each, and nothing stay behind.
void BM_EventsSurviveADamagedCounterAndAFailedRound(benchmark::State& state) {
    Endpoint endpoint;
    for (auto _ : state) {
        state.PauseTiming();
        auto stored = std::make_unique<StoredEvents>();
        std::ofstream(stored->storage->libraryDataStoragePath() /
                      TXPFlatFileStorage::kBatchIDCounterKey)
            << "ab";
        endpoint.telemetry.clear();
        endpoint.telemetry.script({500, {}, ""});
        state.ResumeTiming();
        stored->uploadRound();  // answered 500: the events go back
        const std::size_t failedRequests = endpoint.telemetry.uploads().size();
        stored->uploadRound();  // answered 200
        state.PauseTiming();
        std::set<std::string> delivered;
        std::size_t deliveries = 0;
        const auto uploads = endpoint.telemetry.uploads();
        for (std::size_t u = failedRequests; u < uploads.size(); ++u)
            for (const auto& batch : uploads[u].sourceBatches) {
                if (batch.sourceID == 1710) continue;  // the metrics event
                for (const auto& sent : batch.events) {
                    ++deliveries;
                    delivered.insert(sent.payload);
                }
            }
        const std::size_t left = stored->eventsLeft();
        state.counters["failed_round_requests"] = double(failedRequests);
        state.counters["delivered"] = double(delivered.size());
        state.counters["sent_twice"] = double(deliveries - delivered.size());
        state.counters["left_stored"] = double(left);
        state.counters["lost"] = double(kStoredEvents) - double(delivered.size()) - double(left);
        if (delivered.size() != static_cast<std::size_t>(kStoredEvents) ||
            deliveries != delivered.size())
            state.SkipWithError("events were lost, held back or sent twice");
        stored.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EventsSurviveADamagedCounterAndAFailedRound)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
