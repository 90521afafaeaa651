// The upload path: encoding and gzipping a batch of 1,000 events, and 10,000 stored events of
// mixed tiers uploaded end to end to the stand-in's telemetry endpoint.
#include <stdlib.h>

#include <filesystem>
#include <future>

#include <benchmark/benchmark.h>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsController.h"
#include "BeaconTransport/cct/TXBCompressionHelper.h"
#include "BeaconTransport/cct/TXBLogRequest.h"
#include "BeaconTransport/cct/TXBUploader.h"
#include "BeaconTransport/cct/TXPEndpoints.h"
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

void BM_Upload10000StoredEvents(benchmark::State& state) {
    standin::StandinService service;
    standin::TelemetryServer telemetry(service);
    service.start();
    TXPEndpoints::setOriginForTesting(service.origin());
    for (auto _ : state) {
        state.PauseTiming();
        std::string pattern = (fs::temp_directory_path() / "txb-bench-XXXXXX").string();
        fs::path root = ::mkdtemp(pattern.data());
        auto storage = TXPFlatFileStorage::make(root);
        auto registrar = TXPRegistrar::make();
        registrar->registerStorage(storage, 1001);
        registrar->registerMetricsController(std::make_shared<TXPMetricsController>(storage), 1001);
        auto uploader = TXBUploader::make(registrar);
        std::promise<void> stored;
        for (int i = 0; i < 10'000; ++i)
            storage->storeEvent(event(i, 1001), [&, i](bool, ErrorRef) {
                if (i == 9'999) stored.set_value();
            });
        stored.get_future().get();
        telemetry.clear();
        state.ResumeTiming();
        // Ordinary rounds take the tiers Wi-Fi allows; the server asks for no wait.
        uploader->uploadTarget(1001, TXPNetworkWifi | TXPUploadForced);
        std::promise<void> idle;
        uploader->whenIdle([&] { idle.set_value(); });
        idle.get_future().get();
        state.PauseTiming();
        std::size_t requests = 0, bytes = 0, events = 0;
        for (const auto& upload : telemetry.uploads()) {
            ++requests;
            bytes += upload.rawBody.size();
            events += upload.eventCount();
        }
        state.counters["requests"] = double(requests);
        state.counters["events"] = double(events);
        state.counters["inflated_body_bytes"] = double(bytes);
        fs::remove_all(root);
        state.ResumeTiming();
    }
    TXPEndpoints::setOriginForTesting(std::nullopt);
}
BENCHMARK(BM_Upload10000StoredEvents)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
