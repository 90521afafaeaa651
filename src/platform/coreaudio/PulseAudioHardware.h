#pragma once
// The audio hardware layer over a PulseAudio server (and servers speaking its protocol).
// Reads are served from a mirror of the server, kept current by the server's events; writes
// are sent to the server and waited for with a time-out, and return only after the mirror
// shows their effect. Sinks are output devices, sources input devices, a sink's monitor is its
// device's input (see PulseAudioDeviceTable.h); aggregate devices are combine sinks.
#include <chrono>
#include <memory>

#include "platform/coreaudio/AudioHardwareBackend.h"

namespace pex::coreaudio {

class PulseAudioConnection;
struct PulseAudioSnapshot;
struct PulseAudioWrite;

class PulseAudioHardware : public AudioHardwareBackend {
  public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

    // Connects to the server named by PULSE_SERVER, else the user's session; nothing when no
    // server answers within `timeout`.
    static std::shared_ptr<PulseAudioHardware> connect(
        std::chrono::milliseconds timeout = kDefaultTimeout);
    // Connects and installs the backend in the hardware layer; false (and nothing installed)
    // when there is no server.
    static bool install(std::chrono::milliseconds timeout = kDefaultTimeout);

    ~PulseAudioHardware() override;

    // --- AudioHardwareBackend ----------------------------------------------------------------
    void attach(ChangeReporter report) override;
    void detach() override;
    bool hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) override;
    AudioStatus isPropertySettable(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                   bool& settable) override;
    AudioStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                    std::uint32_t qualifierSize, const void* qualifier,
                                    std::uint32_t& size) override;
    AudioStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                std::uint32_t qualifierSize, const void* qualifier,
                                std::uint32_t& size, void* data) override;
    AudioStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                std::uint32_t qualifierSize, const void* qualifier,
                                std::uint32_t size, const void* data) override;
    AudioStatus listenerAdded(AudioObjectID object,
                              const AudioObjectPropertyAddress& address) override;
    AudioStatus listenerRemoved(AudioObjectID object,
                                const AudioObjectPropertyAddress& address) override;
    // Only stacked (multi-output) aggregates exist here: a combine sink named by the UID that
    // plays on the subdevices.
    AudioStatus createAggregateDevice(const nlohmann::json& description,
                                      AudioObjectID& created) override;
    // Unloads the combine sink's module; a device of any other module is refused, so no
    // hardware module is ever unloaded.
    AudioStatus destroyAggregateDevice(AudioObjectID device) override;
    // A null sink described as `name`: what plays on it is heard on its monitor, which is the
    // device's input. It lives in the server until the server stops. Its sink name is made
    // from `name`; a second call finds the device made by the first.
    AudioStatus createLoopbackDevice(const std::string& name, AudioObjectID& created) override;

  private:
    struct Mirror;
    explicit PulseAudioHardware(std::chrono::milliseconds timeout);
    void takeSnapshot(PulseAudioSnapshot snapshot);
    void forgetServer();
    AudioStatus unloadModule(std::uint32_t module);
    // Sends one write to the server and waits for its answer.
    AudioStatus send(const PulseAudioWrite& write);

    const std::chrono::milliseconds timeout_;
    std::unique_ptr<Mirror> mirror_;
    std::unique_ptr<PulseAudioConnection> connection_;
};

}  // namespace pex::coreaudio
