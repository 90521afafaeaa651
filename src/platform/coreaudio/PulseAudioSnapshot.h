#pragma once
// What the PulseAudio backend copies out of the sound server in one refresh: the server's
// defaults, its sinks, sources, modules and cards. Plain values, so a snapshot can be built on
// the server connection's thread and read anywhere after it was handed over.
#include <pulse/pulseaudio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pex::coreaudio {

struct PulseAudioPort {
    std::string name;
    std::string description;
    bool available = true;  // a jack is plugged in, or the server does not know
};

// A sink or a source.
struct PulseAudioEndpoint {
    bool isSink = true;
    std::uint32_t index = PA_INVALID_INDEX;
    std::string name;
    std::string description;
    pa_sample_spec sampleSpec{};
    pa_channel_map channelMap{};
    pa_cvolume volume{};
    bool mute = false;
    std::vector<PulseAudioPort> ports;
    std::string activePort;
    bool running = false;
    std::uint64_t latencyMicroseconds = 0;
    std::uint32_t ownerModule = PA_INVALID_INDEX;
    std::uint32_t card = PA_INVALID_INDEX;
    std::string bus;          // "device.bus"
    std::string deviceClass;  // "device.class"
    std::string vendor;       // "device.vendor.name"
    // A sink's monitor source; for a source, the sink it monitors (PA_INVALID_INDEX: none).
    std::string monitorSourceName;
    std::uint32_t monitorOfSink = PA_INVALID_INDEX;
};

struct PulseAudioModule {
    std::uint32_t index = PA_INVALID_INDEX;
    std::string name;
    std::string argument;
};

struct PulseAudioCard {
    std::uint32_t index = PA_INVALID_INDEX;
    std::string name;
};

struct PulseAudioSnapshot {
    std::string defaultSinkName;
    std::string defaultSourceName;
    std::vector<PulseAudioEndpoint> sinks;
    std::vector<PulseAudioEndpoint> sources;
    std::vector<PulseAudioModule> modules;
    std::vector<PulseAudioCard> cards;
};

}  // namespace pex::coreaudio
