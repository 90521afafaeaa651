// The PulseAudio backend's view of a server snapshot, on snapshots made by hand: what a null
// daemon cannot show (ports and jacks, buses, description and rate changes, monitors of real
// sinks) and the diff that becomes listener calls.
#include "platform/coreaudio/PulseAudioDeviceTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/coreaudio/PropertyString.h"

namespace pex::coreaudio {
namespace {

using Address = AudioObjectPropertyAddress;

Address at(const char* selector, std::uint32_t scopeCode = scope::global,
           std::uint32_t element = 0) {
    return {fourCC(selector), scopeCode, element};
}

PulseAudioEndpoint endpoint(bool isSink, std::uint32_t index, const std::string& name) {
    PulseAudioEndpoint e;
    e.isSink = isSink;
    e.index = index;
    e.name = name;
    e.description = name + " description";
    e.sampleSpec = {PA_SAMPLE_FLOAT32LE, 48000, 2};
    pa_channel_map_init_stereo(&e.channelMap);
    pa_cvolume_set(&e.volume, 2, PA_VOLUME_NORM);
    return e;
}

// A sound card's sink with two ports and its monitor, a USB microphone, and a null sink.
PulseAudioSnapshot machine() {
    PulseAudioSnapshot s;
    PulseAudioEndpoint card = endpoint(true, 1, "alsa_output.pci");
    card.card = 0;
    card.bus = "pci";
    card.ports = {{"analog-output-speaker", "Speakers", true},
                  {"analog-output-headphones", "Headphones", false}};
    card.activePort = "analog-output-speaker";
    card.monitorSourceName = "alsa_output.pci.monitor";
    PulseAudioEndpoint monitor = endpoint(false, 10, "alsa_output.pci.monitor");
    monitor.monitorOfSink = 1;
    PulseAudioEndpoint usb = endpoint(false, 11, "alsa_input.usb");
    usb.bus = "usb";
    usb.card = 1;
    PulseAudioEndpoint null = endpoint(true, 2, "loop");
    null.ownerModule = 7;
    PulseAudioEndpoint nullMonitor = endpoint(false, 12, "loop.monitor");
    nullMonitor.monitorOfSink = 2;
    s.sinks = {null, card};  // the table orders by index
    s.sources = {monitor, usb, nullMonitor};
    s.modules = {{7, "module-null-sink", "sink_name=loop"}};
    s.defaultSinkName = "alsa_output.pci";
    s.defaultSourceName = "alsa_output.pci.monitor";
    return s;
}

template <typename T>
std::optional<T> scalar(const PulseAudioDeviceTable& table, AudioObjectID id, const Address& a) {
    const auto p = table.property(id, a, 0, nullptr);
    if (!p || p->bytes.size() != sizeof(T)) return std::nullopt;
    T value;
    std::memcpy(&value, p->bytes.data(), sizeof(T));
    return value;
}

std::vector<std::uint32_t> list(const PulseAudioDeviceTable& table, AudioObjectID id,
                                const Address& a) {
    const auto p = table.property(id, a, 0, nullptr);
    if (!p) return {};
    std::vector<std::uint32_t> values(p->bytes.size() / 4);
    if (!values.empty()) std::memcpy(values.data(), p->bytes.data(), p->bytes.size());
    return values;
}

TEST(PulseAudioDeviceTableTest, SinksSourcesAndMonitorsBecomeDevices) {
    PulseAudioDeviceTable::Identities identities;
    const PulseAudioDeviceTable table(machine(), identities);
    const auto ids = table.devices();
    ASSERT_EQ(ids.size(), 3u);  // monitors are not devices of their own
    const AudioObjectID card = table.deviceWithUID("alsa_output.pci");
    const AudioObjectID usb = table.deviceWithUID("alsa_input.usb");
    const AudioObjectID loop = table.deviceWithUID("loop");
    EXPECT_EQ(ids, (std::vector<AudioObjectID>{card, loop, usb}));

    EXPECT_EQ(scalar<std::uint32_t>(table, card, at("tran")), fourCC("pci "));
    EXPECT_EQ(scalar<std::uint32_t>(table, usb, at("tran")), fourCC("usb "));
    EXPECT_EQ(scalar<std::uint32_t>(table, loop, at("tran")), fourCC("virt"));
    // Only a null sink's monitor is an input of its device.
    EXPECT_TRUE(list(table, card, at("stm#", scope::input)).empty());
    EXPECT_EQ(list(table, loop, at("stm#", scope::input)).size(), 1u);
    // Yet a real sink's monitor as default input reads as the sink, and writing the sink as
    // default input selects its monitor.
    EXPECT_EQ(scalar<AudioObjectID>(table, kSystemObject, at("dIn ")), card);
    PulseAudioWrite write;
    ASSERT_EQ(table.planWrite(kSystemObject, at("dIn "), 4, &card, write), status::ok);
    const auto* setDefault = std::get_if<PulseAudioWrite::SetDefault>(&write.operation);
    ASSERT_NE(setDefault, nullptr);
    EXPECT_FALSE(setDefault->sink);
    EXPECT_EQ(setDefault->name, "alsa_output.pci.monitor");
}

TEST(PulseAudioDeviceTableTest, PortsAreDataSourcesWithJacks) {
    PulseAudioDeviceTable::Identities identities;
    const PulseAudioDeviceTable table(machine(), identities);
    const AudioObjectID card = table.deviceWithUID("alsa_output.pci");
    EXPECT_EQ(list(table, card, at("ssc#", scope::output)), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(list(table, card, at("ssrc", scope::output)), (std::vector<std::uint32_t>{1}));
    const auto names = table.property(card, at("lscn", scope::output), 0, nullptr);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->names.at(2), "Headphones");
    EXPECT_EQ(scalar<std::uint32_t>(table, card, at("jack", scope::output)), 1u);
    // No ports, no data sources; no input, nothing in the input scope.
    EXPECT_FALSE(table.property(card, at("ssc#", scope::input), 0, nullptr));
    EXPECT_FALSE(
        table.property(table.deviceWithUID("loop"), at("ssc#", scope::output), 0, nullptr));

    PulseAudioWrite write;
    const std::uint32_t headphones = 2;
    ASSERT_EQ(table.planWrite(card, at("ssrc", scope::output), 4, &headphones, write), status::ok);
    EXPECT_EQ(std::get<PulseAudioWrite::SetPort>(write.operation).port, "analog-output-headphones");
    const std::uint32_t none = 3;
    EXPECT_EQ(table.planWrite(card, at("ssrc", scope::output), 4, &none, write),
              status::illegalOperation);
}

TEST(PulseAudioDeviceTableTest, ChangesNameEveryChangedAddress) {
    PulseAudioDeviceTable::Identities identities;
    const PulseAudioDeviceTable before(machine(), identities);
    PulseAudioSnapshot next = machine();
    PulseAudioEndpoint& card = next.sinks[1];
    card.description = "Lautsprecher";
    card.volume.values[1] = PA_VOLUME_NORM / 2;  // right channel only: balance moves too
    card.mute = true;
    card.activePort = "analog-output-headphones";
    card.ports[1].available = true;
    card.running = true;
    card.sampleSpec.rate = 44100;
    next.defaultSinkName = "loop";
    next.sources.push_back(endpoint(false, 13, "bluez_input"));
    const PulseAudioDeviceTable after(std::move(next), identities);

    const AudioObjectID cardID = after.deviceWithUID("alsa_output.pci");
    EXPECT_EQ(cardID, before.deviceWithUID("alsa_output.pci"));  // IDs stay with their sink
    std::vector<Address> system;
    std::vector<Address> device;
    for (const auto& change : after.changesSince(before)) {
        auto& into = change.object == kSystemObject ? system : device;
        if (change.object != kSystemObject) {
            EXPECT_EQ(change.object, cardID);
        }
        into.insert(into.end(), change.addresses.begin(), change.addresses.end());
    }
    EXPECT_EQ(system, (std::vector<Address>{at("ownd"), at("dev#"), at("dOut"), at("sOut")}));
    const std::vector<Address> expected = {
        at("lnam"),
        at("goin"),
        at("gone"),
        at("nsrt"),
        at("asrt"),
        at("volm", scope::output, 2),
        at("vold", scope::output, 2),
        at("vmbc", scope::output),
        at("mute", scope::output),
        at("ssrc", scope::output),
        at("jack", scope::output),
    };
    EXPECT_EQ(device, expected);
    // Nothing changed, nothing reported.
    PulseAudioDeviceTable::Identities again;
    const PulseAudioDeviceTable first(machine(), again);
    const PulseAudioDeviceTable second(machine(), again);
    EXPECT_TRUE(second.changesSince(first).empty());
}

TEST(PulseAudioDeviceTableTest, CombineSinkWithoutSlaveListPlaysOnEverySink) {
    PulseAudioSnapshot s = machine();
    PulseAudioEndpoint combine = endpoint(true, 3, "combined");
    combine.ownerModule = 8;
    s.sinks.push_back(combine);
    s.modules.push_back({8, "module-combine-sink", "sink_name=combined"});
    PulseAudioDeviceTable::Identities identities;
    const PulseAudioDeviceTable table(std::move(s), identities);
    const AudioObjectID id = table.deviceWithUID("combined");
    EXPECT_TRUE(table.isAggregate(id));
    EXPECT_EQ(scalar<std::uint32_t>(table, id, at("clas")), classid::aggregateDevice);
    const AudioClassID devices = classid::device;
    const auto owned = table.property(id, at("ownd"), 4, &devices);
    ASSERT_TRUE(owned);
    std::vector<AudioObjectID> ids(owned->bytes.size() / 4);
    std::memcpy(ids.data(), owned->bytes.data(), owned->bytes.size());
    EXPECT_EQ(ids, (std::vector<AudioObjectID>{table.deviceWithUID("alsa_output.pci"),
                                               table.deviceWithUID("loop")}));
}

}  // namespace
}  // namespace pex::coreaudio
