#pragma once
// An audio device of the hardware layer. One object per device ID, kept in the object pool
// with one property listener, which turns property changes into notifications on the main
// queue (AudioNotifications.h). The name is never absent: the live name, else the name read
// when the object was made, else "<Unknown Device Name>".
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/device-model/AudioObject.h"
#include "audio/device-model/Scope.h"
#include "audio/device-model/TransportType.h"
#include "audio/device-model/VolumeInfo.h"
#include "platform/coreaudio/AudioTypes.h"

namespace pex {

class AudioStream;

// A device's preferred pair of channels for stereo.
struct StereoPair {
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    bool operator==(const StereoPair&) const = default;
};

// Property members read the hardware afresh on every call and keep nothing. A property the
// device lacks, or a read the hardware refuses, gives an absent value (or false, 0, an empty
// list); writes give true only when the hardware accepted them. Members taking a channel use it
// as the property element; the others use element 0.
class AudioDevice final : public AudioObject {
  public:
    // The pooled device for the ID, else a new one; nothing when the ID is not a device.
    static std::shared_ptr<AudioDevice> lookup(AudioObjectID objectID);
    // The device whose unique identifier is `uid`, through the system object.
    static std::shared_ptr<AudioDevice> lookupByUID(const std::string& uid);
    // Makes the device object for an ID whose class is a device class ('adev', 'asub', 'aagg',
    // 'endp', 'edev'), pools it and installs its listener; nothing for other IDs. When another
    // thread pooled the ID first, that object is returned.
    static std::shared_ptr<AudioDevice> make(AudioObjectID objectID);

    ~AudioDevice() override;

    std::optional<std::string> name() override;
    // The name, " (", the object ID, ")".
    std::string description();
    std::optional<std::string> cachedDeviceName() const;

    void registerForNotifications();
    void unregisterForNotifications();
    bool isRegisteredForNotifications() const;

    // --- identity and state ------------------------------------------------------------
    std::optional<std::string> uid();
    std::optional<std::string> modelUID();
    std::optional<std::string> manufacturer();
    std::optional<std::string> configurationApplication();
    bool isHidden();
    bool isAlive();
    bool isRunning();
    bool isRunningSomewhere();
    std::optional<TransportType> transportType();
    std::optional<std::vector<AudioObjectID>> controlList();
    std::optional<std::vector<std::shared_ptr<AudioDevice>>> relatedDevices();
    // Objects of every class that the device owns.
    std::optional<std::vector<AudioObjectID>> ownedObjectIDs();

    // --- default roles ------------------------------------------------------------------
    // Whether this device is the system's default input, output or system-sound output.
    bool isDefaultInputDevice();
    bool isDefaultOutputDevice();
    bool isDefaultSystemOutputDevice();
    // Assigning true makes this device the default, written even when it is already; the
    // hardware's status is returned. The hardware cannot take a role away, so false writes
    // nothing and returns `status::unsupportedOperation`.
    coreaudio::AudioStatus setIsDefaultInputDevice(bool isDefault);
    coreaudio::AudioStatus setIsDefaultOutputDevice(bool isDefault);
    coreaudio::AudioStatus setIsDefaultSystemOutputDevice(bool isDefault);

    // --- aggregate membership -------------------------------------------------------------
    std::optional<std::vector<std::shared_ptr<AudioDevice>>> ownedDevices();
    std::optional<std::vector<std::shared_ptr<AudioDevice>>> ownedInputDevices();
    std::optional<std::vector<std::shared_ptr<AudioDevice>>> ownedOutputDevices();
    // True when the device owns at least one device.
    bool isAggregateDevice();

    // --- exclusive access ---------------------------------------------------------------
    // The process that owns the device exclusively; -1 when it is free.
    std::optional<pid_t> hogModePID();
    bool setHogMode();    // takes it unless this process has it already
    bool unsetHogMode();  // gives it back when this process has it

    // --- clock and data sources -----------------------------------------------------------
    std::optional<std::uint32_t> clockSourceID();
    bool setClockSourceID(std::uint32_t clockSourceID);
    std::optional<std::vector<std::uint32_t>> clockSourceIDs();
    std::optional<std::string> clockSourceName(std::uint32_t clockSourceID);
    std::optional<std::string> clockSourceName();
    // One name per clock source; "Clock source <id>" where the name cannot be read.
    std::optional<std::vector<std::string>> clockSourceNames();
    std::optional<std::vector<std::uint32_t>> dataSource(Scope scope);
    std::optional<std::vector<std::uint32_t>> dataSources(Scope scope);
    std::optional<std::string> dataSourceName(std::uint32_t dataSourceID, Scope scope);

    // --- volume and mute ----------------------------------------------------------------
    std::optional<VolumeInfo> volumeInfo(std::uint32_t channel, Scope scope);
    std::optional<float> volume(std::uint32_t channel, Scope scope);
    std::optional<float> volumeInDecibels(std::uint32_t channel, Scope scope);
    bool setVolume(float volume, std::uint32_t channel, Scope scope);
    std::optional<bool> isMuted(std::uint32_t channel, Scope scope);
    bool setMute(bool mute, std::uint32_t channel, Scope scope);
    bool canSetVolume(std::uint32_t channel, Scope scope);
    bool canMute(std::uint32_t channel, Scope scope);
    std::optional<float> scalarToDecibels(float volume, std::uint32_t channel, Scope scope);
    std::optional<float> decibelsToScalar(float volume, std::uint32_t channel, Scope scope);

    std::optional<bool> isMainChannelMuted(Scope scope);
    bool canMuteMainChannel(Scope scope);
    std::optional<StereoPair> preferredChannelsForStereo(Scope scope);
    bool setPreferredChannelsForStereo(StereoPair channels, Scope scope);

    bool hasVirtualMainVolume(Scope scope);
    std::optional<float> virtualMainVolume(Scope scope);
    bool setVirtualMainVolume(float volume, Scope scope);
    std::optional<float> virtualMainVolumeInDecibels(Scope scope);
    bool hasVirtualMainBalance(Scope scope);
    std::optional<float> virtualMainBalance(Scope scope);
    bool setVirtualMainBalance(float balance, Scope scope);

    // The same members under the older word "master".
    std::optional<bool> isMasterChannelMuted(Scope scope) { return isMainChannelMuted(scope); }
    bool canMuteMasterChannel(Scope scope) { return canMuteMainChannel(scope); }
    bool hasVirtualMasterVolume(Scope scope) { return hasVirtualMainVolume(scope); }
    std::optional<float> virtualMasterVolume(Scope scope) { return virtualMainVolume(scope); }
    bool setVirtualMasterVolume(float volume, Scope scope) {
        return setVirtualMainVolume(volume, scope);
    }
    std::optional<float> virtualMasterVolumeInDecibels(Scope scope) {
        return virtualMainVolumeInDecibels(scope);
    }
    std::optional<float> virtualMasterBalance(Scope scope) { return virtualMainBalance(scope); }
    bool setVirtualMasterBalance(float balance, Scope scope) {
        return setVirtualMainBalance(balance, scope);
    }

    // Subwoofer controls. Assigning an absent value writes nothing; statuses are not reported.
    std::optional<bool> shouldOwniSub();
    void setShouldOwniSub(std::optional<bool> value);
    std::optional<bool> lfeMute();
    void setLfeMute(std::optional<bool> value);
    std::optional<float> lfeVolume();
    void setLfeVolume(std::optional<float> value);
    std::optional<float> lfeVolumeInDecibels();
    void setLfeVolumeInDecibels(std::optional<float> value);

    // --- streams and channels -------------------------------------------------------------
    std::optional<std::vector<std::shared_ptr<AudioStream>>> streams(Scope scope);
    // The channels of the scope's streams added up; 0 without streams.
    std::uint32_t channels(Scope scope);
    std::optional<std::uint32_t> layoutChannels(Scope scope);
    // The name of one channel; absent when empty.
    std::optional<std::string> name(std::uint32_t channel, Scope scope);
    std::optional<bool> isJackConnected(Scope scope);
    bool isInputOnlyDevice();
    bool isOutputOnlyDevice();

    // --- latency and buffer size -----------------------------------------------------------
    std::optional<std::uint32_t> latency(Scope scope);
    std::optional<std::uint32_t> safetyOffset(Scope scope);
    std::optional<std::uint32_t> bufferFrameSize(Scope scope);
    bool setBufferFrameSize(std::uint32_t frames, Scope scope);
    // Stream latencies, device latency, safety offset and buffer size, in frames.
    std::uint32_t totalLatencyFrames(Scope scope);
    std::optional<double> totalLatencySeconds(Scope scope);
    // The sizes the device accepts among the standard sizes (16 to 4096), with the smallest
    // accepted multiple of 16 first; sorted.
    std::optional<std::vector<std::uint32_t>> availableBufferFrameSizes();

    // --- sample rates -------------------------------------------------------------------
    std::optional<double> actualSampleRate();
    std::optional<double> nominalSampleRate();
    bool setNominalSampleRate(double rate);
    // Each range expanded to the standard rates it spans, in the device's order.
    std::optional<std::vector<double>> nominalSampleRates();

    explicit AudioDevice(AudioObjectID objectID);  // use lookup or make

  private:
    std::optional<std::string> cachedDeviceName_;
    bool isRegisteredForNotifications_ = false;
};

}  // namespace pex
