#pragma once
// What a fake device is made of (FakeAudioHardware::addDevice). Each direction with channels
// gets one stream of that many channels; everything else is optional and absent unless set.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/coreaudio/AudioTypes.h"

namespace pex::coreaudio {

struct FakeDeviceSetup {
    // A device of that name with the UID name + "_UID" and the given channels.
    static FakeDeviceSetup named(const std::string& name, std::uint32_t inputChannels,
                                 std::uint32_t outputChannels) {
        FakeDeviceSetup setup;
        setup.name = name;
        setup.uid = name + "_UID";
        setup.inputChannels = inputChannels;
        setup.outputChannels = outputChannels;
        return setup;
    }

    // A volume and/or mute control on one element of one scope.
    struct Control {
        std::uint32_t scope = scope::output;
        std::uint32_t element = kElementMain;
        std::optional<float> volume;  // 'volm', with 'vold', 'v2db' and 'db2v' beside it
        std::optional<bool> mute;     // 'mute'
        bool settable = true;
    };
    // A clock or data source: its ID and, when it has one, its name.
    struct Source {
        std::uint32_t id = 0;
        std::optional<std::string> name;
    };

    std::optional<std::string> name;  // 'lnam'
    std::optional<std::string> uid;   // 'uid '
    std::uint32_t inputChannels = 0;
    std::uint32_t outputChannels = 0;
    std::uint32_t transportType = fourCC("bltn");
    AudioClassID classID = classid::device;
    bool alive = true;  // 'livn'
    std::vector<Control> controls;
    std::optional<double> nominalSampleRate;          // 'nsrt'
    std::vector<AudioValueRange> nominalSampleRates;  // 'nsr#' when not empty
    std::vector<Source> clockSources;                 // 'csc#' and 'lcsn' when not empty
    std::optional<std::uint32_t> clockSource;         // 'csrc'
    std::vector<Source> inputDataSources;             // 'ssc#', 'ssrc' and 'lscn' on 'inpt'
    std::vector<Source> outputDataSources;            // the same on 'outp'
    bool hogMode = false;                             // 'oink', free at first
};

}  // namespace pex::coreaudio
