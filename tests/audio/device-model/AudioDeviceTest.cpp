// Device objects: one per ID with one listener, the device classes, names that outlive the
// device, notifications from property changes, lookups by UID, and listener bookkeeping.
#include "audio/device-model/AudioDevice.h"

#include <thread>

#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/AudioObjectPool.h"
#include "audio/device-model/AudioStream.h"
#include "audio/device-model/DeviceModelFixture.h"

namespace pex::test {
namespace {

using coreaudio::AudioObjectPropertyAddress;
namespace classid = coreaudio::classid;
namespace scope = coreaudio::scope;
namespace Note = AudioDeviceHubNotification;

AudioObjectPropertyAddress global(const char* selector) {
    return {fourCC(selector), scope::global, 0};
}

using AudioDeviceTest = DeviceModelTest;

TEST_F(AudioDeviceTest, OneObjectAndOneListenerPerID) {
    const auto id = addDevice("Speakers");
    std::vector<std::shared_ptr<AudioDevice>> seen(8);
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot, id] { slot = AudioDevice::lookup(id); });
    for (auto& thread : threads) thread.join();
    for (const auto& device : seen) EXPECT_EQ(device, seen.front());
    EXPECT_EQ(AudioDevice::lookup(id), seen.front());
    EXPECT_EQ(coreaudio::listenerCount(id), 1u);
    EXPECT_TRUE(seen.front()->isRegisteredForNotifications());
    EXPECT_EQ(AudioObjectPool::shared().queueLabel(), "AudioDeviceHub.audioObjectPool");
}

TEST_F(AudioDeviceTest, OnlyDeviceClassesMakeDevices) {
    const std::vector<std::pair<coreaudio::AudioClassID, bool>> table = {
        {classid::device, true},          {classid::subDevice, true},
        {classid::aggregateDevice, true}, {classid::endPoint, true},
        {classid::endPointDevice, true},  {classid::stream, false},
        {classid::control, false},        {classid::system, false}};
    for (const auto& [classID, makesDevice] : table) {
        const auto id = fake->addObject(classID, coreaudio::kSystemObject);
        EXPECT_EQ(AudioDevice::lookup(id) != nullptr, makesDevice)
            << coreaudio::fourCCText(classID);
    }
    EXPECT_EQ(AudioDevice::lookup(coreaudio::kSystemObject), nullptr);
    const auto classless = fake->addObject(classid::device, coreaudio::kSystemObject);
    fake->removeProperty(classless, global("clas"));
    EXPECT_EQ(AudioDevice::lookup(classless), nullptr);
    EXPECT_EQ(coreaudio::listenerCount(classless), 0u);
}

TEST_F(AudioDeviceTest, KeepsTheNameReadAtCreation) {
    const auto id = addDevice("Built-in Output");
    const auto device = AudioDevice::lookup(id);
    fake->setText(id, global("lnam"), "Renamed");
    EXPECT_EQ(device->name(), "Renamed");
    EXPECT_EQ(device->cachedDeviceName(), "Built-in Output");  // a rename keeps the cache
    fake->removeDevice(id);
    EXPECT_EQ(device->name(), "Built-in Output");
    EXPECT_EQ(device->description(), "Built-in Output (" + std::to_string(id) + ")");

    const auto nameless = AudioDevice::lookup(fake->addDevice({}));
    EXPECT_EQ(nameless->name(), "<Unknown Device Name>");
    EXPECT_EQ(nameless->description(),
              "<Unknown Device Name> (" + std::to_string(nameless->objectID()) + ")");
}

TEST_F(AudioDeviceTest, VolumeChangePostsChannelAndScopeOnTheMainThread) {
    auto& volume = observe(Note::deviceVolumeDidChange);
    const auto id = addDevice("Speakers");
    const auto device = AudioDevice::lookup(id);
    fake->emit(id, {{fourCC("volm"), scope::output, 2}});
    settle();
    ASSERT_EQ(volume.size(), 1u);
    EXPECT_EQ(volume[0].sender, device.get());
    EXPECT_TRUE(volume[0].onMainThread);
    EXPECT_EQ(volume[0].userInfo, (nlohmann::json{{"channel", 2}, {"scope", "output"}}));
}

TEST_F(AudioDeviceTest, EveryChangedAddressOfOneCallIsExamined) {
    auto& volume = observe(Note::deviceVolumeDidChange);
    auto& mute = observe(Note::deviceMuteDidChange);
    auto& alive = observe(Note::deviceIsAliveDidChange);
    auto& name = observe(Note::deviceNameDidChange);
    const auto id = addDevice("Speakers");
    AudioDevice::lookup(id);

    fake->emit(id, {{fourCC("zzzz"), scope::global, 0},
                    {fourCC("volm"), scope::output, 1},
                    {fourCC("mute"), scope::input, 0},
                    {fourCC("livn"), scope::global, 0}});
    fake->emit(id, {{fourCC("sfmt"), scope::output, 0}});  // no notification for this one
    settle();
    ASSERT_EQ(volume.size(), 1u);
    ASSERT_EQ(mute.size(), 1u);
    EXPECT_EQ(mute[0].userInfo, (nlohmann::json{{"channel", 0}, {"scope", "input"}}));
    EXPECT_EQ(alive.size(), 1u);
    EXPECT_TRUE(name.empty());
}

TEST_F(AudioDeviceTest, EachSelectorHasItsNotification) {
    const std::vector<std::pair<const char*, std::string>> table = {
        {"nsrt", Note::deviceNominalSampleRateDidChange},
        {"nsr#", Note::deviceAvailableNominalSampleRatesDidChange},
        {"csrc", Note::deviceClockSourceDidChange},
        {"lnam", Note::deviceNameDidChange},
        {"ownd", Note::deviceOwnedObjectsDidChange},
        {"goin", Note::deviceIsRunningDidChange},
        {"gone", Note::deviceIsRunningSomewhereDidChange},
        {"jack", Note::deviceIsJackConnectedDidChange},
        {"dch2", Note::devicePreferredChannelsForStereoDidChange},
        {"oink", Note::deviceHogModeDidChange},
        {"over", Note::deviceProcessorOverload},
        {"stpd", Note::deviceIOStoppedAbnormally},
    };
    const auto id = addDevice("Speakers");
    const auto device = AudioDevice::lookup(id);
    for (const auto& [selector, name] : table) {
        auto& seen = observe(name);
        fake->emit(id, {global(selector)});
        settle();
        ASSERT_EQ(seen.size(), 1u) << selector;
        EXPECT_EQ(seen[0].sender, device.get());
        EXPECT_TRUE(seen[0].userInfo.is_null());
    }
}

TEST_F(AudioDeviceTest, LooksDevicesUpByUID) {
    const auto id = addDevice("Speakers");
    EXPECT_EQ(AudioDevice::lookupByUID("Speakers_UID"), AudioDevice::lookup(id));
    EXPECT_EQ(AudioDevice::lookupByUID("Nobody_UID"), nullptr);
    fake->failNext(coreaudio::kSystemObject, global("duid"), coreaudio::status::unspecified);
    EXPECT_EQ(AudioDevice::lookupByUID("Speakers_UID"), nullptr);
}

TEST_F(AudioDeviceTest, ADeadDeviceKeepsItsListener) {
    const auto id = addDevice("Speakers");
    const auto device = AudioDevice::lookup(id);
    fake->setUInt32(id, global("livn"), 0);
    fake->clearOperations();
    device->unregisterForNotifications();
    EXPECT_TRUE(device->isRegisteredForNotifications());
    EXPECT_EQ(coreaudio::listenerCount(id), 1u);
    EXPECT_TRUE(fake->operations().empty());

    fake->setUInt32(id, global("livn"), 1);
    device->unregisterForNotifications();
    EXPECT_FALSE(device->isRegisteredForNotifications());
    EXPECT_EQ(coreaudio::listenerCount(id), 0u);
    device->registerForNotifications();  // put back for the rest of the process
}

TEST_F(AudioDeviceTest, ListenerFailuresGoToTheSystemLogOnly) {
    const auto id = addDevice("Speakers");
    fake->failNext(id, coreaudio::kEveryProperty, coreaudio::status::unspecified, 1,
                   coreaudio::FakeAudioHardware::Operation::AddListener);
    const auto device = AudioDevice::lookup(id);
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->isRegisteredForNotifications());
    const std::string expected =
        "default: Unable to add property listener for Speakers (" + std::to_string(id) + ").";
    EXPECT_EQ(lines(systemLog), std::vector{expected});
    EXPECT_TRUE(lines(modelLog).empty());

    device->registerForNotifications();
    fake->failNext(id, coreaudio::kEveryProperty, coreaudio::status::unspecified, 1,
                   coreaudio::FakeAudioHardware::Operation::RemoveListener);
    device->unregisterForNotifications();
    EXPECT_TRUE(device->isRegisteredForNotifications());
    EXPECT_EQ(
        lines(systemLog).back(),
        "default: Unable to remove property listener for Speakers (" + std::to_string(id) + ").");
}

TEST_F(AudioDeviceTest, EqualityAndHashFollowTheObjectID) {
    const auto id = addDevice("Speakers");
    const auto device = AudioDevice::lookup(id);
    const AudioObject plain(id);
    const AudioObject other(id + 1000);
    EXPECT_TRUE(plain == *device);
    EXPECT_EQ(std::hash<AudioObject>{}(plain), std::hash<AudioObject>{}(*device));
    EXPECT_FALSE(plain == other);
}

TEST_F(AudioDeviceTest, OwnersAndLazyFields) {
    const auto speakers = addDevice("Speakers");
    const auto stream = fake->streams(speakers, scope::output).at(0);
    AudioObject ownedByDevice(stream);
    EXPECT_EQ(ownedByDevice.owningObject()->objectID(), speakers);
    EXPECT_EQ(ownedByDevice.owningDevice(), AudioDevice::lookup(speakers));
    EXPECT_EQ(AudioObjectPool::shared().getObject(speakers), AudioDevice::lookup(speakers));

    coreaudio::FakeDeviceSetup aggregate;
    aggregate.classID = classid::aggregateDevice;
    const auto aggregateID = fake->addDevice(aggregate);
    AudioObject ownedByAggregate(fake->addObject(classid::control, aggregateID));
    EXPECT_EQ(ownedByAggregate.owningObject()->objectID(), aggregateID);
    EXPECT_EQ(ownedByAggregate.owningDevice(), nullptr);
    EXPECT_EQ(ownedByAggregate.owningDevice(), nullptr);

    // A failed first read is kept: the class is not read again.
    AudioObject flaky(speakers);
    fake->failNext(speakers, global("clas"), coreaudio::status::unspecified);
    EXPECT_EQ(flaky.classID(), std::nullopt);
    EXPECT_EQ(flaky.classID(), std::nullopt);
    flaky.setClassID(classid::device);
    EXPECT_EQ(flaky.classID(), classid::device);
}

TEST_F(AudioDeviceTest, ThePoolHandsOutOnlyTheRequestedClass) {
    const auto speakers = addDevice("Speakers");
    const auto streamID = fake->streams(speakers, scope::output).at(0);
    ASSERT_NE(AudioStream::lookup(streamID), nullptr);
    EXPECT_EQ(AudioObjectPool::shared().get<AudioDevice>(streamID), nullptr);
    EXPECT_NE(AudioObjectPool::shared().get<AudioStream>(streamID), nullptr);
    EXPECT_EQ(AudioDevice::lookup(streamID), nullptr);
}

}  // namespace
}  // namespace pex::test
