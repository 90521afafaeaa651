// The facade and the system object: device lists, default devices, aggregate devices, the
// listener's notifications with the known-device diff, and the first/last facade rule.
#include "audio/device-model/AudioDeviceHub.h"

#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/DeviceModelFixture.h"

namespace pex::test {
namespace {

using coreaudio::AudioObjectID;
using coreaudio::AudioObjectPropertyAddress;
using coreaudio::kSystemObject;
namespace status = coreaudio::status;
namespace Note = AudioDeviceHubNotification;
using Operation = coreaudio::FakeAudioHardware::Operation;

AudioObjectPropertyAddress global(const char* selector) {
    return {fourCC(selector), coreaudio::scope::global, 0};
}

std::vector<AudioObjectID> ids(const AudioDeviceHub::Devices& devices) {
    std::vector<AudioObjectID> result;
    for (const auto& device : devices) result.push_back(device->objectID());
    return result;
}

using AudioDeviceHubTest = DeviceModelTest;

TEST_F(AudioDeviceHubTest, ListsFollowTheSystemOrder) {
    const auto mic = addDevice("Mic", 1, 0);
    const auto speakers = addDevice("Speakers", 0, 2);
    const auto duplex = addDevice("Duplex", 2, 2);
    AudioDeviceHub hub;
    const auto aggregate = hub.createAggregateDevice(AudioDevice::lookup(speakers),
                                                     AudioDevice::lookup(duplex), "Agg", "Agg_UID");
    ASSERT_NE(aggregate, nullptr);
    const auto agg = aggregate->objectID();

    EXPECT_EQ(hub.allDeviceIDs(), (std::vector{mic, speakers, duplex, agg}));
    EXPECT_EQ(ids(hub.allDevices()), (std::vector{mic, speakers, duplex, agg}));
    EXPECT_EQ(ids(hub.allInputDevices()), (std::vector{mic, duplex, agg}));
    EXPECT_EQ(ids(hub.allOutputDevices()), (std::vector{speakers, duplex, agg}));
    EXPECT_EQ(ids(hub.allIODevices()), (std::vector{duplex, agg}));
    EXPECT_EQ(ids(hub.allNonAggregateDevices()), (std::vector{mic, speakers, duplex}));
    EXPECT_EQ(ids(hub.allAggregateDevices()), std::vector{agg});

    // A failing size or data query gives an empty list, never a partial one.
    for (Operation operation : {Operation::Size, Operation::Get}) {
        fake->failNext(kSystemObject, global("dev#"), status::unspecified, 1, operation);
        EXPECT_TRUE(hub.allDevices().empty());
    }
}

TEST_F(AudioDeviceHubTest, DefaultDevices) {
    const auto mic = addDevice("Mic", 1, 0);
    const auto speakers = addDevice("Speakers", 0, 2);
    AudioDeviceHub hub;
    EXPECT_EQ(hub.defaultOutputDevice(), nullptr);
    fake->setDefaultDevice(fourCC("dIn "), mic);
    fake->setDefaultDevice(fourCC("dOut"), speakers);
    fake->setDefaultDevice(fourCC("sOut"), speakers);
    EXPECT_EQ(hub.defaultInputDevice(), AudioDevice::lookup(mic));
    EXPECT_EQ(hub.defaultOutputDevice(), AudioDevice::lookup(speakers));
    EXPECT_EQ(hub.defaultSystemOutputDevice(), AudioDevice::lookup(speakers));
    fake->failNext(kSystemObject, global("dOut"), status::unspecified);
    EXPECT_EQ(hub.defaultOutputDevice(), nullptr);
}

TEST_F(AudioDeviceHubTest, TheListenerReportsWhatChangedSinceTheSeeding) {
    auto& listChanges = observe(Note::deviceListChanged);
    auto& outputChanges = observe(Note::defaultOutputDeviceChanged);
    auto& inputChanges = observe(Note::defaultInputDeviceChanged);
    const auto speakers = addDevice("Speakers");
    settle();  // the fake's report of this device comes before any facade
    AudioDeviceHub hub;
    EXPECT_EQ(ids(hub.hardware()->allKnownDevices()), std::vector{speakers});
    // A device reported again (the seeding racing a list change) is known once.
    hub.hardware()->updateKnownDevices(hub.allDevices(), {});
    EXPECT_EQ(ids(hub.hardware()->allKnownDevices()), std::vector{speakers});

    const auto mic = addDevice("Mic", 1, 0);
    settle();
    ASSERT_EQ(listChanges.size(), 1u);
    EXPECT_EQ(listChanges[0].sender, hub.hardware().get());
    EXPECT_TRUE(listChanges[0].onMainThread);
    EXPECT_EQ(
        listChanges[0].userInfo,
        (nlohmann::json{{"addedDevices", {mic}}, {"removedDevices", nlohmann::json::array()}}));

    fake->removeDevice(speakers);
    settle();
    ASSERT_EQ(listChanges.size(), 2u);
    EXPECT_EQ(listChanges[1].userInfo, (nlohmann::json{{"addedDevices", nlohmann::json::array()},
                                                       {"removedDevices", {speakers}}}));
    EXPECT_EQ(ids(hub.hardware()->allKnownDevices()), std::vector{mic});

    // Every address of one call counts: an unknown selector first hides nothing.
    fake->emit(kSystemObject, {global("zzzz"), global("dOut"), global("dIn ")});
    fake->emit(kSystemObject, {global("zzzz"), global("ownd")});
    settle();
    EXPECT_EQ(outputChanges.size(), 1u);
    EXPECT_EQ(inputChanges.size(), 1u);
    ASSERT_EQ(listChanges.size(), 3u);
    EXPECT_EQ(listChanges[2].userInfo,
              (nlohmann::json{{"addedDevices", nlohmann::json::array()},
                              {"removedDevices", nlohmann::json::array()}}));
}

TEST_F(AudioDeviceHubTest, TheFirstFacadeStartsAndTheLastStopsTheListener) {
    addDevice("Speakers");
    auto first = std::make_unique<AudioDeviceHub>();
    auto second = std::make_unique<AudioDeviceHub>();
    EXPECT_EQ(first->hardware(), second->hardware());
    EXPECT_EQ(AudioDeviceHub::liveInstanceCount(), 2);
    EXPECT_EQ(coreaudio::listenerCount(kSystemObject), 1u);

    const auto hardware = first->hardware();
    first.reset();
    EXPECT_EQ(coreaudio::listenerCount(kSystemObject), 1u);
    EXPECT_EQ(hardware->allKnownDevices().size(), 1u);
    EXPECT_EQ(AudioDeviceHub::sharedHardware(), hardware);

    second.reset();
    EXPECT_EQ(coreaudio::listenerCount(kSystemObject), 0u);
    EXPECT_FALSE(hardware->isRegisteredForNotifications());
    EXPECT_TRUE(hardware->allKnownDevices().empty());
    EXPECT_EQ(AudioDeviceHub::sharedHardware(), nullptr);
    EXPECT_EQ(AudioDeviceHub::liveInstanceCount(), 0);

    fake->failNext(kSystemObject, coreaudio::kEveryProperty, status::unspecified, 1,
                   Operation::AddListener);
    AudioDeviceHub unheard;
    EXPECT_FALSE(unheard.hardware()->isRegisteredForNotifications());
    EXPECT_EQ(lines(systemLog),
              std::vector<std::string>{
                  "default: Unable to add property listener for systemObjectID: 1."});
}

TEST_F(AudioDeviceHubTest, AggregateDevices) {
    const auto loop = AudioDevice::lookup(addDevice("Loop", 2, 2));
    const auto speakers = AudioDevice::lookup(addDevice("Speakers"));
    AudioDeviceHub hub;

    const auto both = hub.createAggregateDevice(loop, speakers, "Both", "Both_UID");
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(fake->aggregateDescriptions().back(),
              (nlohmann::json{{"name", "Both"},
                              {"uid", "Both_UID"},
                              {"subdevices", {{{"uid", "Loop_UID"}}, {{"uid", "Speakers_UID"}}}},
                              {"master", "Loop_UID"}}));
    EXPECT_TRUE(both->isAggregateDevice());

    for (const auto& second : {loop, std::shared_ptr<AudioDevice>()}) {
        const auto single = hub.createAggregateDevice(loop, second, "One", "One_UID");
        ASSERT_NE(single, nullptr);
        EXPECT_EQ(fake->aggregateDescriptions().back()["subdevices"],
                  (nlohmann::json{{{"uid", "Loop_UID"}}}));
        EXPECT_EQ(hub.removeAggregateDevice(single->objectID()), status::ok);
    }

    const auto nameless = AudioDevice::lookup(fake->addDevice({}));
    const auto created = fake->aggregateDescriptions().size();
    EXPECT_EQ(hub.createAggregateDevice(nameless, speakers, "X", "X_UID"), nullptr);
    EXPECT_EQ(fake->aggregateDescriptions().size(), created);  // nothing asked of the hardware

    fake->failNextAggregateCreation(status::unspecified);
    EXPECT_EQ(hub.createAggregateDevice(loop, speakers, "Y", "Y_UID"), nullptr);
    EXPECT_EQ(lines(modelLog).back(), "debug: Failed creating aggregate device with error: " +
                                          std::to_string(status::unspecified) + ".");
    EXPECT_EQ(hub.removeAggregateDevice(speakers->objectID()), status::badObject);
}

}  // namespace
}  // namespace pex::test
