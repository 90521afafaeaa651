#include "audio/device-model/AudioNotifications.h"

#include <array>
#include <utility>

#include "platform/coreaudio/AudioTypes.h"

namespace pex::AudioDeviceHubNotification {

using coreaudio::fourCC;

std::optional<std::string> forDeviceSelector(std::uint32_t selector) {
    static const std::array<std::pair<std::uint32_t, const std::string*>, 15> table{{
        {fourCC("nsrt"), &deviceNominalSampleRateDidChange},
        {fourCC("nsr#"), &deviceAvailableNominalSampleRatesDidChange},
        {fourCC("csrc"), &deviceClockSourceDidChange},
        {fourCC("lnam"), &deviceNameDidChange},
        {fourCC("ownd"), &deviceOwnedObjectsDidChange},
        {fourCC("volm"), &deviceVolumeDidChange},
        {fourCC("mute"), &deviceMuteDidChange},
        {fourCC("livn"), &deviceIsAliveDidChange},
        {fourCC("goin"), &deviceIsRunningDidChange},
        {fourCC("gone"), &deviceIsRunningSomewhereDidChange},
        {fourCC("jack"), &deviceIsJackConnectedDidChange},
        {fourCC("dch2"), &devicePreferredChannelsForStereoDidChange},
        {fourCC("oink"), &deviceHogModeDidChange},
        {fourCC("over"), &deviceProcessorOverload},
        {fourCC("stpd"), &deviceIOStoppedAbnormally},
    }};
    for (const auto& [candidate, name] : table) {
        if (candidate == selector) return *name;
    }
    return std::nullopt;
}

std::optional<std::string> forStreamSelector(std::uint32_t selector) {
    if (selector == fourCC("pft ")) return streamPhysicalFormatDidChange;
    if (selector == fourCC("sact")) return streamIsActiveDidChange;
    return std::nullopt;
}

}  // namespace pex::AudioDeviceHubNotification
