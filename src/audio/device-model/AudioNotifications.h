#pragma once
// Names of the notifications the device model posts on the default notification centre,
// always from the main queue. Volume and mute changes carry "channel" (the element) and
// "scope" (the Scope's name, see Scope.h) in their user info.
#include <cstdint>
#include <optional>
#include <string>

namespace pex::AudioDeviceHubNotification {

inline const std::string deviceListChanged = "AudioDeviceHub.deviceListChanged";
inline const std::string defaultInputDeviceChanged = "AudioDeviceHub.defaultInputDeviceChanged";
inline const std::string defaultOutputDeviceChanged = "AudioDeviceHub.defaultOutputDeviceChanged";
inline const std::string defaultSystemOutputDeviceChanged =
    "AudioDeviceHub.defaultSystemOutputDeviceChanged";
inline const std::string deviceNominalSampleRateDidChange =
    "AudioDeviceHub.deviceNominalSampleRateDidChange";
inline const std::string deviceAvailableNominalSampleRatesDidChange =
    "AudioDeviceHub.deviceAvailableNominalSampleRatesDidChange";
inline const std::string deviceClockSourceDidChange = "AudioDeviceHub.deviceClockSourceDidChange";
inline const std::string deviceNameDidChange = "AudioDeviceHub.deviceNameDidChange";
inline const std::string deviceOwnedObjectsDidChange = "AudioDeviceHub.deviceOwnedObjectsDidChange";
inline const std::string deviceVolumeDidChange = "AudioDeviceHub.deviceVolumeDidChange";
inline const std::string deviceMuteDidChange = "AudioDeviceHub.deviceMuteDidChange";
inline const std::string deviceIsAliveDidChange = "AudioDeviceHub.deviceIsAliveDidChange";
inline const std::string deviceIsRunningDidChange = "AudioDeviceHub.deviceIsRunningDidChange";
inline const std::string deviceIsRunningSomewhereDidChange =
    "AudioDeviceHub.deviceIsRunningSomewhereDidChange";
inline const std::string deviceIsJackConnectedDidChange =
    "AudioDeviceHub.deviceIsJackConnectedDidChange";
inline const std::string devicePreferredChannelsForStereoDidChange =
    "AudioDeviceHub.devicePreferredChannelsForStereoDidChange";
inline const std::string deviceHogModeDidChange = "AudioDeviceHub.deviceHogModeDidChange";
inline const std::string deviceProcessorOverload = "AudioDeviceHub.deviceProcessorOverload";
inline const std::string deviceIOStoppedAbnormally = "AudioDeviceHub.deviceIOStoppedAbnormally";
inline const std::string streamIsActiveDidChange = "AudioDeviceHub.streamIsActiveDidChange";
inline const std::string streamPhysicalFormatDidChange =
    "AudioDeviceHub.streamPhysicalFormatDidChange";

// The device notification for a changed selector, if it has one.
std::optional<std::string> forDeviceSelector(std::uint32_t selector);
// The stream notification for a changed selector, if it has one.
std::optional<std::string> forStreamSelector(std::uint32_t selector);

}  // namespace pex::AudioDeviceHubNotification
