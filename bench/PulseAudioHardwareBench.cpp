// The audio hardware layer over a private PulseAudio daemon with 50 null sinks.
// Goal: the device list with UID and aggregate test of every device in microseconds, served
// from the backend's mirror without a server round trip. Also the synchronous writes (volume,
// default output, aggregate creation and removal), which wait for the server and for the
// mirror to show their effect.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/AudioDeviceHub.h"
#include "audio/device-model/Scope.h"
#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/PropertyString.h"
#include "platform/coreaudio/PulseAudioHardware.h"
#include "support/PulseAudioServer.h"

namespace pex {
namespace {

using namespace coreaudio;

constexpr int kDevices = 50;

// One daemon and backend for the whole program.
struct Machine {
    Machine() {
        test::PulseAudioServer::Options options;
        options.nullSinks.clear();
        for (int i = 0; i < kDevices; ++i) options.nullSinks.push_back("sink" + std::to_string(i));
        options.defaultSink = "sink0";
        server = std::make_unique<test::PulseAudioServer>(options);
        hardware = PulseAudioHardware::connect();
        if (hardware) installBackend(hardware);
    }
    ~Machine() {
        drainNotifications();
        installBackend(nullptr);
        hardware.reset();
    }
    std::unique_ptr<test::PulseAudioServer> server;
    std::shared_ptr<PulseAudioHardware> hardware;
};

Machine& machine() {
    static Machine instance;
    return instance;
}

std::vector<AudioObjectID> deviceIDs() {
    const AudioObjectPropertyAddress address{fourCC("dev#"), scope::global, 0};
    std::uint32_t size = 0;
    if (getPropertyDataSize(kSystemObject, address, 0, nullptr, size) != 0) return {};
    std::vector<AudioObjectID> ids(size / 4);
    if (getPropertyData(kSystemObject, address, 0, nullptr, size, ids.data()) != 0) return {};
    return ids;
}

// What the router does with the device list: the facade's allDevices, every device's UID and
// whether it is an aggregate (device objects come from the pool after the first pass).
void BM_AllDevicesWithUIDAndAggregateTest(benchmark::State& state) {
    if (!machine().hardware) return state.SkipWithError("no sound server");
    AudioDeviceHub hub;
    for (auto _ : state) {
        int aggregates = 0;
        std::size_t uidBytes = 0;
        const auto devices = hub.allDevices();
        for (const auto& device : devices) {
            uidBytes += device->uid().value_or("").size();
            aggregates += device->isAggregateDevice() ? 1 : 0;
        }
        if (devices.size() != kDevices) return state.SkipWithError("devices missing");
        benchmark::DoNotOptimize(uidBytes);
        benchmark::DoNotOptimize(aggregates);
    }
    state.counters["devices"] = kDevices;
}
BENCHMARK(BM_AllDevicesWithUIDAndAggregateTest)->Unit(benchmark::kMicrosecond);

// The same questions as plain layer calls: what the backend itself costs.
void BM_AllDevicesWithUIDAndAggregateTestFromTheLayer(benchmark::State& state) {
    if (!machine().hardware) return state.SkipWithError("no sound server");
    const AudioObjectPropertyAddress uid{fourCC("uid "), scope::global, 0};
    const AudioObjectPropertyAddress owned{fourCC("ownd"), scope::global, 0};
    const AudioObjectPropertyAddress classOf{fourCC("clas"), scope::global, 0};
    const AudioClassID anyClass = classid::object;
    for (auto _ : state) {
        int aggregates = 0;
        std::size_t uidBytes = 0;
        for (AudioObjectID id : deviceIDs()) {
            PropertyString text;
            std::uint32_t size = sizeof(text);
            if (hasProperty(id, uid) && getPropertyData(id, uid, 0, nullptr, size, &text) == 0) {
                uidBytes += text.str().size();
            }
            AudioObjectID ids[8];
            size = 0;
            if (getPropertyDataSize(id, owned, 4, &anyClass, size) != 0) continue;
            size = std::min<std::uint32_t>(size, sizeof(ids));
            if (getPropertyData(id, owned, 4, &anyClass, size, ids) != 0) continue;
            for (std::uint32_t i = 0; i < size / 4; ++i) {
                AudioClassID c = 0;
                std::uint32_t classSize = sizeof(c);
                getPropertyData(ids[i], classOf, 0, nullptr, classSize, &c);
                if (c == classid::device || c == classid::aggregateDevice) {
                    ++aggregates;
                    break;
                }
            }
        }
        benchmark::DoNotOptimize(uidBytes);
        benchmark::DoNotOptimize(aggregates);
    }
    state.counters["devices"] = kDevices;
}
BENCHMARK(BM_AllDevicesWithUIDAndAggregateTestFromTheLayer)->Unit(benchmark::kMicrosecond);

void BM_SetVolume(benchmark::State& state) {
    if (!machine().hardware) return state.SkipWithError("no sound server");
    const auto device = AudioDevice::lookup(deviceIDs().front());
    float volume = 0.4f;
    for (auto _ : state) {
        volume = volume == 0.4f ? 0.6f : 0.4f;
        if (!device->setVolume(volume, 0, Scope::output)) return state.SkipWithError("refused");
    }
}
BENCHMARK(BM_SetVolume)->Unit(benchmark::kMicrosecond);

void BM_SetDefaultOutput(benchmark::State& state) {
    if (!machine().hardware) return state.SkipWithError("no sound server");
    const auto ids = deviceIDs();
    const auto first = AudioDevice::lookup(ids[0]);
    const auto second = AudioDevice::lookup(ids[1]);
    bool toSecond = true;
    for (auto _ : state) {
        (toSecond ? second : first)->setIsDefaultOutputDevice(true);
        toSecond = !toSecond;
    }
}
BENCHMARK(BM_SetDefaultOutput)->Unit(benchmark::kMicrosecond);

void BM_CreateAndDestroyAggregate(benchmark::State& state) {
    if (!machine().hardware) return state.SkipWithError("no sound server");
    const nlohmann::json description = {{"name", "kvt Multi-Output"},
                                        {"uid", "kvt-Multi-Output_UID"},
                                        {"subdevices", {{{"uid", "sink1"}}, {{"uid", "sink0"}}}},
                                        {"master", "sink1"},
                                        {"stacked", 1}};
    for (auto _ : state) {
        AudioObjectID created = kNoObject;
        if (createAggregateDevice(description, created) != 0) {
            return state.SkipWithError("creation failed");
        }
        if (destroyAggregateDevice(created) != 0) return state.SkipWithError("removal failed");
    }
}
BENCHMARK(BM_CreateAndDestroyAggregate)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pex
