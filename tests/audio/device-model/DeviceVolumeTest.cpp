// Per-channel volume and mute, the channel summary, the stereo pair, the virtual main volume
// and balance (with their older names), conversions and the subwoofer controls.
#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/DeviceModelFixture.h"

namespace pex::test {
namespace {

using coreaudio::AudioObjectPropertyAddress;
using Control = coreaudio::FakeDeviceSetup::Control;
namespace scope = coreaudio::scope;
namespace status = coreaudio::status;
using Operation = coreaudio::FakeAudioHardware::Operation;

AudioObjectPropertyAddress out(const char* selector, std::uint32_t element = 0) {
    return {fourCC(selector), scope::output, element};
}

class DeviceVolumeTest : public DeviceModelTest {
  protected:
    std::shared_ptr<AudioDevice> deviceWith(std::vector<Control> controls) {
        coreaudio::FakeDeviceSetup setup;
        setup.name = "Speakers";
        setup.outputChannels = 2;
        setup.controls = std::move(controls);
        return AudioDevice::lookup(fake->addDevice(setup));
    }
};

TEST_F(DeviceVolumeTest, VolumeInfoCombinations) {
    struct Case {
        const char* what;
        std::vector<Control> controls;
        std::function<void(coreaudio::AudioObjectID)> arrange;
        std::optional<VolumeInfo> expected;
    };
    auto info = [](std::optional<float> volume, bool hasVolume, bool canSetVolume, bool canMute,
                   bool isMuted, bool canPlayThru = false, bool isPlayThruSet = false) {
        return VolumeInfo{volume,  hasVolume,   canSetVolume, canMute,
                          isMuted, canPlayThru, isPlayThruSet};
    };
    const std::vector<Case> cases = {
        {"volume and mute",
         {{scope::output, 1, 0.5f, false, true}},
         nullptr,
         info(0.5f, true, true, true, false)},
        {"mute only, fixed",
         {{scope::output, 1, std::nullopt, true, false}},
         nullptr,
         info(std::nullopt, false, false, false, true)},
        {"no controls", {}, nullptr, std::nullopt},
        {"every read fails",
         {{scope::output, 1, 0.5f, true, true}},
         [&](coreaudio::AudioObjectID id) {
             fake->failNext(id, out("volm", 1), status::unspecified, 1, Operation::Get);
             fake->failNext(id, out("mute", 1), status::unspecified, 1, Operation::Get);
         },
         std::nullopt},
        {"volume settable query fails",
         {{scope::output, 1, 0.5f, true, true}},
         [&](coreaudio::AudioObjectID id) {
             fake->failNext(id, out("volm", 1), status::unspecified, 1, Operation::Settable);
         },
         info(std::nullopt, false, false, true, true)},
        {"play-through",
         {},
         [&](coreaudio::AudioObjectID id) { fake->setUInt32(id, out("thru", 1), 1, true); },
         info(std::nullopt, false, false, false, false, true, true)},
    };
    for (const auto& c : cases) {
        const auto device = deviceWith(c.controls);
        if (c.arrange) c.arrange(device->objectID());
        EXPECT_EQ(device->volumeInfo(1, Scope::output), c.expected) << c.what;
    }
    const auto silent = deviceWith({});
    EXPECT_FALSE(silent->canMute(1, Scope::output));
    EXPECT_FALSE(silent->canSetVolume(1, Scope::output));
    EXPECT_TRUE(lines(modelLog).empty());  // the summary reads log nothing
}

TEST_F(DeviceVolumeTest, CanMuteMainChannelThroughTheStereoPair) {
    struct Case {
        const char* what;
        std::vector<Control> controls;
        std::optional<std::vector<std::uint32_t>> pair;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"main element", {{scope::output, 0, std::nullopt, false, true}}, std::nullopt, true},
        {"left and right",
         {{scope::output, 1, std::nullopt, false, true},
          {scope::output, 2, std::nullopt, false, true}},
         std::vector<std::uint32_t>{1, 2},
         true},
        {"left only",
         {{scope::output, 1, std::nullopt, false, true}},
         std::vector<std::uint32_t>{1, 2},
         false},
        {"no pair",
         {{scope::output, 1, std::nullopt, false, true},
          {scope::output, 2, std::nullopt, false, true}},
         std::nullopt,
         false},
    };
    for (const auto& c : cases) {
        const auto device = deviceWith(c.controls);
        if (c.pair) fake->setRecords(device->objectID(), out("dch2"), *c.pair);
        EXPECT_EQ(device->canMuteMainChannel(Scope::output), c.expected) << c.what;
        EXPECT_EQ(device->canMuteMasterChannel(Scope::output), c.expected) << c.what;
    }
}

TEST_F(DeviceVolumeTest, StereoPairAndVirtualMainVolumeInDecibels) {
    const std::vector<std::pair<std::vector<std::uint32_t>, std::optional<StereoPair>>> pairs = {
        {{1, 2}, StereoPair{1, 2}}, {{1}, std::nullopt}, {{1, 2, 3}, std::nullopt}};
    for (const auto& [list, expected] : pairs) {
        // Channel 1 has a settable volume; element 0 has none.
        const auto device = deviceWith({{scope::output, 1, 0.5f, std::nullopt, true}});
        fake->setRecords(device->objectID(), out("dch2"), list);
        fake->setFloat32(device->objectID(), out("vmvc"), 0.75f, true);
        EXPECT_EQ(device->preferredChannelsForStereo(Scope::output), expected);
        const auto decibels = device->virtualMainVolumeInDecibels(Scope::output);
        EXPECT_EQ(decibels.has_value(), expected.has_value());
        if (decibels) {
            EXPECT_FLOAT_EQ(*decibels, -16.0f);  // the fake's curve: (0.75 - 1) × 64
        }
    }
    // A settable main element needs no pair.
    const auto device = deviceWith({{scope::output, 0, 0.5f, std::nullopt, true}});
    fake->setFloat32(device->objectID(), out("vmvc"), 0.5f, true);
    EXPECT_EQ(device->virtualMasterVolumeInDecibels(Scope::output), -32.0f);

    fake->setRecords(device->objectID(), out("dch2"), std::vector<std::uint32_t>{1, 2}, true);
    EXPECT_TRUE(device->setPreferredChannelsForStereo({3, 4}, Scope::output));
    EXPECT_EQ(device->preferredChannelsForStereo(Scope::output), (StereoPair{3, 4}));
    EXPECT_FALSE(device->setPreferredChannelsForStereo({3, 4}, Scope::input));
}

TEST_F(DeviceVolumeTest, ChannelVolumeMuteAndConversions) {
    const auto device = deviceWith({{scope::output, 1, 0.5f, false, true}});
    EXPECT_EQ(device->volume(1, Scope::output), 0.5f);
    EXPECT_EQ(device->volumeInDecibels(1, Scope::output), -32.0f);
    EXPECT_TRUE(device->setVolume(0.25f, 1, Scope::output));
    EXPECT_EQ(device->volume(1, Scope::output), 0.25f);
    EXPECT_FALSE(device->setVolume(0.25f, 2, Scope::output));  // no such control
    EXPECT_EQ(device->volume(2, Scope::output), std::nullopt);

    EXPECT_EQ(device->isMuted(1, Scope::output), false);
    EXPECT_TRUE(device->setMute(true, 1, Scope::output));
    EXPECT_EQ(device->isMuted(1, Scope::output), true);
    EXPECT_EQ(device->isMainChannelMuted(Scope::output), std::nullopt);
    EXPECT_EQ(device->isMasterChannelMuted(Scope::output), std::nullopt);

    EXPECT_EQ(device->scalarToDecibels(0.5f, 1, Scope::output), -32.0f);
    EXPECT_EQ(device->decibelsToScalar(-32.0f, 1, Scope::output), 0.5f);
    EXPECT_EQ(device->scalarToDecibels(0.5f, 2, Scope::output), std::nullopt);
    fake->failNext(device->objectID(), out("v2db", 1), status::unspecified);
    EXPECT_EQ(device->scalarToDecibels(0.5f, 1, Scope::output), std::nullopt);

    fake->failNext(device->objectID(), out("volm", 1), status::unspecified, 1, Operation::Set);
    EXPECT_FALSE(device->setVolume(0.75f, 1, Scope::output));
    EXPECT_EQ(device->volume(1, Scope::output), 0.25f);
}

TEST_F(DeviceVolumeTest, VirtualMainVolumeAndBalanceUnderBothNames) {
    const auto device = deviceWith({});
    EXPECT_FALSE(device->hasVirtualMainVolume(Scope::output));
    EXPECT_FALSE(device->hasVirtualMasterVolume(Scope::output));
    EXPECT_FALSE(device->setVirtualMainVolume(0.5f, Scope::output));
    EXPECT_EQ(device->virtualMainBalance(Scope::output), std::nullopt);

    fake->setFloat32(device->objectID(), out("vmvc"), 0.1f, true);
    fake->setFloat32(device->objectID(), out("vmbc"), 0.5f, true);
    EXPECT_TRUE(device->hasVirtualMainVolume(Scope::output));
    EXPECT_TRUE(device->hasVirtualMainBalance(Scope::output));
    EXPECT_TRUE(device->setVirtualMasterVolume(0.6f, Scope::output));
    EXPECT_EQ(device->virtualMainVolume(Scope::output), 0.6f);
    EXPECT_EQ(device->virtualMasterVolume(Scope::output), 0.6f);
    EXPECT_TRUE(device->setVirtualMasterBalance(0.25f, Scope::output));
    EXPECT_EQ(device->virtualMasterBalance(Scope::output), 0.25f);
    EXPECT_EQ(device->virtualMainBalance(Scope::output), 0.25f);
}

TEST_F(DeviceVolumeTest, SubwooferAssignments) {
    const auto device = deviceWith({});
    const auto id = device->objectID();
    const AudioObjectPropertyAddress lfeVolume{fourCC("svlm"), scope::global, 0};
    fake->clearOperations();
    device->setLfeVolume(0.5f);  // absent property: nothing written
    EXPECT_TRUE(fake->operations().empty());
    EXPECT_EQ(device->lfeVolume(), std::nullopt);

    fake->setFloat32(id, lfeVolume, 0.2f, true);
    fake->setUInt32(id, {fourCC("smut"), scope::global, 0}, 0, true);
    device->setLfeVolume(std::nullopt);  // absent value: nothing written
    EXPECT_TRUE(fake->operations().empty());
    device->setLfeVolume(0.5f);
    device->setLfeMute(true);
    EXPECT_EQ(fake->operations(),
              (std::vector<std::string>{"Set " + std::to_string(id) + " 'svlm' glob 0 = 0.5",
                                        "Set " + std::to_string(id) + " 'smut' glob 0 = 1"}));
    EXPECT_EQ(device->lfeVolume(), 0.5f);
    EXPECT_EQ(device->lfeMute(), true);
    EXPECT_EQ(device->shouldOwniSub(), std::nullopt);
    EXPECT_EQ(device->lfeVolumeInDecibels(), std::nullopt);
}

}  // namespace
}  // namespace pex::test
