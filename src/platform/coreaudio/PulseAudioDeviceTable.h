#pragma once
// The hardware layer's view of one PulseAudio snapshot: the system object, one device per sink
// (output) and per source that is not a monitor (input), and one stream per device and
// direction. A sink's monitor belongs to its sink; a null sink's monitor is its input, so a
// loopback device is an input and output device.
//
// Object IDs come from a process-wide counter and stay with their sink or source for as long
// as the server keeps it; an ID is never handed out twice within a process.
//
// The table answers property reads from the snapshot, plans writes as server operations, and
// compares itself with its predecessor to tell listeners which addresses changed.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "platform/coreaudio/AudioTypes.h"
#include "platform/coreaudio/PulseAudioSnapshot.h"

namespace pex::coreaudio {

// How a property's value is served.
struct PulseAudioProperty {
    enum class Kind {
        Bytes,             // a value or a list, copied out
        IDList,            // a list of object IDs, cut to whole entries
        Text,              // a PropertyString
        DeviceForUID,      // translation: UID string to device ID
        NameForID,         // translation: port ID to its name
        ScalarToDecibels,  // conversion in place
        DecibelsToScalar,
    };
    Kind kind = Kind::Bytes;
    std::vector<std::byte> bytes;
    std::string text;
    std::map<std::uint32_t, std::string> names;
    bool settable = false;
};

// What a write asks of the server.
struct PulseAudioWrite {
    struct SetDefault {
        bool sink;
        std::string name;
    };
    struct SetVolume {
        bool sink;
        std::uint32_t index;
        pa_cvolume volume;
    };
    struct SetMute {
        bool sink;
        std::uint32_t index;
        bool mute;
    };
    struct SetPort {
        bool sink;
        std::uint32_t index;
        std::string port;
    };
    std::variant<SetDefault, SetVolume, SetMute, SetPort> operation;
};

struct PulseAudioChange {
    AudioObjectID object;
    std::vector<AudioObjectPropertyAddress> addresses;
};

class PulseAudioDeviceTable {
  public:
    // Object IDs of the sinks and sources seen so far, by server index. Survives tables.
    struct Identities {
        struct Entry {
            AudioObjectID device = kNoObject;
            AudioObjectID inputStream = kNoObject;
            AudioObjectID outputStream = kNoObject;
        };
        std::map<std::pair<bool, std::uint32_t>, Entry> bySinkOrSource;
    };

    PulseAudioDeviceTable() = default;
    // Builds the table for `snapshot`; sinks and sources that are gone lose their IDs.
    PulseAudioDeviceTable(PulseAudioSnapshot snapshot, Identities& identities);
    // Devices point into the snapshot: moving keeps those pointers, copying would not.
    PulseAudioDeviceTable(PulseAudioDeviceTable&&) = default;
    PulseAudioDeviceTable& operator=(PulseAudioDeviceTable&&) = default;
    PulseAudioDeviceTable(const PulseAudioDeviceTable&) = delete;
    PulseAudioDeviceTable& operator=(const PulseAudioDeviceTable&) = delete;

    bool hasObject(AudioObjectID object) const;
    // The property at `address`, nothing when the object has none there. `qualifier` narrows
    // the owned objects to the listed classes.
    std::optional<PulseAudioProperty> property(AudioObjectID object,
                                               const AudioObjectPropertyAddress& address,
                                               std::uint32_t qualifierSize,
                                               const void* qualifier) const;
    // The server operation a write stands for, or the status refusing it.
    AudioStatus planWrite(AudioObjectID object, const AudioObjectPropertyAddress& address,
                          std::uint32_t size, const void* data, PulseAudioWrite& write) const;
    // The device of the sink named `uid` or the source named `uid`.
    AudioObjectID deviceWithUID(const std::string& uid) const;
    // The sink of a device, with the module that owns it, for aggregate checks.
    const PulseAudioEndpoint* sinkOf(AudioObjectID device) const;
    const PulseAudioModule* module(std::uint32_t index) const;
    bool isAggregate(AudioObjectID device) const;
    std::vector<AudioObjectID> devices() const;
    // The server's default sink and source by name, as the snapshot saw them.
    const std::string& defaultSinkName() const { return snapshot_.defaultSinkName; }
    const std::string& defaultSourceName() const { return snapshot_.defaultSourceName; }

    // What differs from `before`, as listener calls: the system object's device list and
    // defaults, and per device every changed address.
    std::vector<PulseAudioChange> changesSince(const PulseAudioDeviceTable& before) const;

  private:
    struct Device {
        AudioObjectID id = kNoObject;
        const PulseAudioEndpoint* output = nullptr;   // the sink
        const PulseAudioEndpoint* input = nullptr;    // the source, or a null sink's monitor
        const PulseAudioEndpoint* monitor = nullptr;  // a sink's monitor, input or not
        AudioObjectID inputStream = kNoObject;
        AudioObjectID outputStream = kNoObject;
        bool combine = false;
        bool null = false;
        std::vector<AudioObjectID> subdevices;
    };
    struct Stream {
        AudioObjectID device;
        bool input;
    };

    const Device* device(AudioObjectID id) const;
    const PulseAudioEndpoint* side(const Device& device, std::uint32_t scope) const;
    std::optional<PulseAudioProperty> systemProperty(const AudioObjectPropertyAddress& address,
                                                     std::uint32_t qualifierSize,
                                                     const void* qualifier) const;
    std::optional<PulseAudioProperty> deviceProperty(const Device& device,
                                                     const AudioObjectPropertyAddress& address,
                                                     std::uint32_t qualifierSize,
                                                     const void* qualifier) const;
    std::optional<PulseAudioProperty> streamProperty(
        AudioObjectID id, const Stream& stream, const AudioObjectPropertyAddress& address) const;
    AudioObjectID defaultInput() const;
    AudioObjectID defaultOutput() const;

    PulseAudioSnapshot snapshot_;
    std::vector<Device> devices_;  // sinks by index, then sources by index
    std::unordered_map<AudioObjectID, std::size_t> deviceIndex_;
    std::unordered_map<AudioObjectID, Stream> streams_;
};

}  // namespace pex::coreaudio
