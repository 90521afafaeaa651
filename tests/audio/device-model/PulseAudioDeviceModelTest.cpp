// The device model over the PulseAudio backend and a private daemon: devices as the router
// sees them, default roles, aggregates, and server-side changes arriving as the model's
// notifications.
#include <mutex>

#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/Scope.h"
#include "audio/device-model/TransportType.h"
#include "platform/coreaudio/PulseAudioHardwareFixture.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/TestSupport.h"

namespace pex::test {
namespace {

namespace Note = AudioDeviceHubNotification;

class PulseAudioDeviceModelTest : public PulseAudioHardwareTest {
  protected:
    void TearDown() override {
        coreaudio::drainNotifications();
        MainQueue::drain();
        PulseAudioHardwareTest::TearDown();
    }

    // Collects every posting of `name` (on the main queue) while the test runs.
    std::vector<nlohmann::json>& observe(const std::string& name) {
        auto& list = posted[name];
        observers.emplace_back(NotificationCenter::defaultCenter(),
                               NotificationCenter::defaultCenter().addObserver(
                                   name, nullptr, [&list](const Notification& note) {
                                       list.push_back(note.userInfo);
                                   }));
        return list;
    }

    static bool contains(const std::vector<nlohmann::json>& list, const nlohmann::json& info) {
        return std::find(list.begin(), list.end(), info) != list.end();
    }

    std::map<std::string, std::vector<nlohmann::json>> posted;
    std::vector<ScopedObserver> observers;
};

TEST_F(PulseAudioDeviceModelTest, DevicesReadAsTheRouterNeedsThem) {
    const auto loopback = AudioDevice::lookupByUID("velqo_2ch");
    const auto speakers = AudioDevice::lookupByUID("speakers");
    const auto microphone = AudioDevice::lookupByUID("usb_mic");
    ASSERT_TRUE(loopback && speakers && microphone);
    EXPECT_EQ(loopback->name(), "velqoOutput 2ch");
    EXPECT_EQ(loopback->uid(), "velqo_2ch");
    EXPECT_EQ(loopback->transportType(), TransportType::virtual_);
    EXPECT_FALSE(loopback->isAggregateDevice());
    EXPECT_EQ(loopback->channels(Scope::input), 2u);
    EXPECT_EQ(loopback->channels(Scope::output), 2u);
    EXPECT_TRUE(microphone->isInputOnlyDevice());
    EXPECT_FALSE(speakers->isInputOnlyDevice());
    EXPECT_TRUE(speakers->isAlive());
    EXPECT_EQ(speakers->nominalSampleRates()->size(), 1u);
    EXPECT_EQ(speakers->hogModePID(), std::nullopt);

    EXPECT_TRUE(speakers->isDefaultOutputDevice());
    EXPECT_TRUE(microphone->isDefaultInputDevice());
    EXPECT_EQ(loopback->setIsDefaultInputDevice(true), coreaudio::status::ok);
    EXPECT_EQ(loopback->setIsDefaultOutputDevice(true), coreaudio::status::ok);
    EXPECT_TRUE(loopback->isDefaultInputDevice());
    EXPECT_TRUE(loopback->isDefaultOutputDevice());
    EXPECT_FALSE(speakers->isDefaultOutputDevice());

    EXPECT_TRUE(speakers->setVolume(0.25f, 2, Scope::output));
    EXPECT_NEAR(*speakers->volume(2, Scope::output), 0.25f, 0.001f);
    const auto info = speakers->volumeInfo(0, Scope::output);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->canSetVolume);
    EXPECT_TRUE(info->canMute);
    EXPECT_EQ(speakers->preferredChannelsForStereo(Scope::output), (StereoPair{1, 2}));
}

TEST_F(PulseAudioDeviceModelTest, AggregateOwnsItsSubdevices) {
    const auto loopback = AudioDevice::lookupByUID("velqo_2ch");
    const auto speakers = AudioDevice::lookupByUID("speakers");
    coreaudio::AudioObjectID created = coreaudio::kNoObject;
    ASSERT_EQ(coreaudio::createAggregateDevice(
                  {{"name", "kvt Multi-Output"},
                   {"uid", "kvt-Multi-Output_UID"},
                   {"subdevices", {{{"uid", "velqo_2ch"}}, {{"uid", "speakers"}}}},
                   {"master", "velqo_2ch"},
                   {"stacked", 1}},
                  created),
              coreaudio::status::ok);
    const auto aggregate = AudioDevice::lookup(created);
    ASSERT_TRUE(aggregate);
    EXPECT_TRUE(aggregate->isAggregateDevice());
    EXPECT_EQ(aggregate->transportType(), TransportType::aggregate);
    EXPECT_EQ(aggregate->ownedDevices(),
              (std::vector<std::shared_ptr<AudioDevice>>{loopback, speakers}));
    EXPECT_EQ(aggregate->ownedOutputDevices()->size(), 2u);
    EXPECT_EQ(coreaudio::destroyAggregateDevice(created), coreaudio::status::ok);
    EXPECT_FALSE(aggregate->isAlive());
}

TEST_F(PulseAudioDeviceModelTest, ServerChangesArriveAsNotifications) {
    const auto speakers = AudioDevice::lookupByUID("speakers");
    ASSERT_TRUE(speakers);
    auto& volume = observe(Note::deviceVolumeDidChange);
    auto& mute = observe(Note::deviceMuteDidChange);

    ASSERT_EQ(pactl({"set-sink-volume", "speakers", "40%", "60%"}), 0);
    EXPECT_TRUE(runMainUntil([&] {
        return contains(volume, {{"channel", 1}, {"scope", "output"}}) &&
               contains(volume, {{"channel", 2}, {"scope", "output"}}) &&
               contains(volume, {{"channel", 0}, {"scope", "output"}});
    }));
    ASSERT_EQ(pactl({"set-sink-mute", "speakers", "1"}), 0);
    EXPECT_TRUE(runMainUntil([&] {
        return contains(mute, {{"channel", 0}, {"scope", "output"}});
    }));
    EXPECT_EQ(speakers->isMuted(0, Scope::output), true);
    // The loopback's monitor is its input: its mute arrives in the input scope.
    const auto loopback = AudioDevice::lookupByUID("velqo_2ch");
    ASSERT_TRUE(loopback);
    ASSERT_EQ(pactl({"set-source-mute", "velqo_2ch.monitor", "1"}), 0);
    EXPECT_TRUE(runMainUntil([&] { return contains(mute, {{"channel", 0}, {"scope", "input"}}); }));
}

}  // namespace
}  // namespace pex::test
