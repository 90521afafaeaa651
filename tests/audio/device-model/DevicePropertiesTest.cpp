// Device identity and state, default roles, aggregate membership, exclusive access, clock and
// data sources, each with its absent-value rules.
#include <unistd.h>

#include <algorithm>

#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/DeviceModelFixture.h"

namespace pex::test {
namespace {

using coreaudio::AudioObjectID;
using coreaudio::AudioObjectPropertyAddress;
namespace classid = coreaudio::classid;
namespace scope = coreaudio::scope;
namespace status = coreaudio::status;
using Operation = coreaudio::FakeAudioHardware::Operation;

AudioObjectPropertyAddress global(const char* selector) {
    return {fourCC(selector), scope::global, 0};
}

using DevicePropertiesTest = DeviceModelTest;

TEST_F(DevicePropertiesTest, IdentityAndStateReads) {
    const auto id = addDevice("Speakers");
    const auto device = AudioDevice::lookup(id);
    fake->setText(id, global("uid "), "");
    fake->setUInt32(id, global("tran"), fourCC("usb "));
    EXPECT_EQ(device->uid(), "");  // empty, not absent
    EXPECT_EQ(device->modelUID(), std::nullopt);
    EXPECT_EQ(device->transportType(), TransportType::usb);
    EXPECT_TRUE(device->isAlive());
    EXPECT_FALSE(device->isHidden());
    EXPECT_TRUE(lines(modelLog).empty());

    fake->setText(id, global("lmak"), "Maker");
    fake->failNext(id, global("lmak"), status::illegalOperation);
    fake->failNext(id, global("goin"), status::unspecified);
    fake->setUInt32(id, global("goin"), 1);
    EXPECT_EQ(device->manufacturer(), std::nullopt);
    EXPECT_FALSE(device->isRunning());
    EXPECT_EQ(lines(modelLog),
              (std::vector<std::string>{
                  "debug: Unable to get property with address ('lmak', 'glob', 0). Status: " +
                      std::to_string(status::illegalOperation),
                  "debug: Unable to get property with address ('goin', 'glob', 0). Status: " +
                      std::to_string(status::unspecified)}));
    EXPECT_EQ(device->manufacturer(), "Maker");
    EXPECT_TRUE(device->isRunning());
}

TEST_F(DevicePropertiesTest, AggregateTest) {
    const auto loop = addDevice("Loop", 2, 2);
    const auto speakers = addDevice("Speakers", 0, 2);
    fake->addOwnedObject(speakers, fake->addObject(classid::control, speakers));
    AudioObjectID aggregate = 0;
    ASSERT_EQ(coreaudio::createAggregateDevice(
                  {{"name", "Both"},
                   {"uid", "Both_UID"},
                   {"subdevices", {{{"uid", "Loop_UID"}}, {{"uid", "Speakers_UID"}}}},
                   {"master", "Loop_UID"},
                   {"stacked", 1}},
                  aggregate),
              0);
    const auto withoutOwned = addDevice("Bare");
    fake->removeProperty(withoutOwned, global("ownd"));
    const auto failing = addDevice("Failing");
    // Fails for both questions asked of it below.
    fake->failNext(failing, global("ownd"), status::unspecified, 2, Operation::Get);

    struct Case {
        AudioObjectID id;
        bool aggregate;
        std::optional<std::size_t> owned;
    };
    for (const Case& c :
         {Case{speakers, false, 0}, Case{loop, false, 0}, Case{aggregate, true, 2},
          Case{withoutOwned, false, std::nullopt}, Case{failing, false, std::nullopt}}) {
        const auto device = AudioDevice::lookup(c.id);
        EXPECT_EQ(device->isAggregateDevice(), c.aggregate) << *device->name();
        const auto owned = device->ownedDevices();
        EXPECT_EQ(owned ? std::optional(owned->size()) : std::nullopt, c.owned) << *device->name();
    }
    const auto both = AudioDevice::lookup(aggregate);
    EXPECT_EQ(*both->ownedDevices(),
              (std::vector{AudioDevice::lookup(loop), AudioDevice::lookup(speakers)}));
    EXPECT_EQ(*both->ownedInputDevices(), std::vector{AudioDevice::lookup(loop)});
    EXPECT_EQ(both->ownedOutputDevices()->size(), 2u);
    EXPECT_EQ(AudioDevice::lookup(withoutOwned)->ownedInputDevices(), std::nullopt);
}

TEST_F(DevicePropertiesTest, AListReadIsCutToWhatTheReadReturned) {
    const auto loop = addDevice("Loop", 2, 2);
    const auto speakers = addDevice("Speakers", 0, 2);
    AudioObjectID aggregate = 0;
    ASSERT_EQ(coreaudio::createAggregateDevice(
                  {{"name", "Both"},
                   {"uid", "Both_UID"},
                   {"subdevices", {{{"uid", "Loop_UID"}}, {{"uid", "Speakers_UID"}}}}},
                  aggregate),
              0);
    const auto device = AudioDevice::lookup(aggregate);
    // The speakers go away between the size call and the read.
    fake->beforeNextRead(aggregate, global("ownd"), [&] { fake->removeDevice(speakers); });
    const auto owned = device->ownedObjectIDs();
    ASSERT_TRUE(owned);
    EXPECT_EQ(std::count(owned->begin(), owned->end(), coreaudio::kNoObject), 0);
    EXPECT_EQ(std::count(owned->begin(), owned->end(), speakers), 0);
    EXPECT_EQ(std::count(owned->begin(), owned->end(), loop), 1);
    EXPECT_EQ(*device->ownedDevices(), std::vector{AudioDevice::lookup(loop)});
}

TEST_F(DevicePropertiesTest, DefaultRoleReadsAndWrites) {
    const auto speakers = addDevice("Speakers");
    const auto mic = addDevice("Mic", 1, 0);
    const auto output = AudioDevice::lookup(speakers);
    const auto input = AudioDevice::lookup(mic);

    // No default output: no device is it.
    EXPECT_FALSE(output->isDefaultOutputDevice());
    EXPECT_FALSE(input->isDefaultOutputDevice());

    fake->setDefaultDevice(fourCC("dOut"), speakers);
    fake->setDefaultDevice(fourCC("sOut"), speakers);
    fake->setDefaultDevice(fourCC("dIn "), mic);
    EXPECT_TRUE(output->isDefaultOutputDevice());
    EXPECT_TRUE(output->isDefaultSystemOutputDevice());
    EXPECT_FALSE(output->isDefaultInputDevice());
    EXPECT_TRUE(input->isDefaultInputDevice());
    fake->failNext(coreaudio::kSystemObject, global("dOut"), status::unspecified);
    EXPECT_FALSE(output->isDefaultOutputDevice());

    fake->clearOperations();
    EXPECT_EQ(input->setIsDefaultInputDevice(true), 0);  // already the default: written again
    EXPECT_EQ(input->setIsDefaultOutputDevice(true), 0);
    EXPECT_EQ(input->setIsDefaultSystemOutputDevice(true), 0);
    fake->failNext(coreaudio::kSystemObject, global("dOut"), status::illegalOperation, 1,
                   Operation::Set);
    EXPECT_EQ(output->setIsDefaultOutputDevice(true), status::illegalOperation);
    EXPECT_EQ(output->setIsDefaultOutputDevice(false), status::unsupportedOperation);
    const std::string m = std::to_string(mic);
    EXPECT_EQ(fake->operations(),
              (std::vector<std::string>{"Set 1 'dIn ' glob 0 = " + m, "Set 1 'dOut' glob 0 = " + m,
                                        "Set 1 'sOut' glob 0 = " + m,
                                        "Set 1 'dOut' glob 0 = " + std::to_string(speakers)}));
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), mic);
}

TEST_F(DevicePropertiesTest, RelatedDevicesSkipWhatIsNotADevice) {
    const auto speakers = addDevice("Speakers");
    const auto mic = addDevice("Mic", 1, 0);
    const auto stream = fake->streams(mic, scope::input).at(0);
    fake->setRecords(speakers, global("akin"),
                     std::vector<AudioObjectID>{speakers, stream, 0, mic});
    EXPECT_EQ(*AudioDevice::lookup(speakers)->relatedDevices(),
              (std::vector{AudioDevice::lookup(speakers), AudioDevice::lookup(mic)}));
    EXPECT_EQ(AudioDevice::lookup(mic)->relatedDevices(), std::nullopt);
    EXPECT_EQ(AudioDevice::lookup(mic)->controlList(), std::nullopt);
}

TEST_F(DevicePropertiesTest, HogModeToggling) {
    coreaudio::FakeDeviceSetup setup;
    setup.hogMode = true;
    const auto id = fake->addDevice(setup);
    const auto device = AudioDevice::lookup(id);
    const auto self = ::getpid();

    struct Step {
        bool set;  // setHogMode, else unsetHogMode
        bool result;
        bool writes;
        pid_t ownerAfter;
    };
    const std::vector<Step> steps = {
        {false, false, false, -1},   // free: nothing to give back
        {true, true, true, self},    // take it
        {true, false, false, self},  // already ours
        {false, true, true, -1},     // give it back
    };
    for (const Step& step : steps) {
        fake->clearOperations();
        EXPECT_EQ(step.set ? device->setHogMode() : device->unsetHogMode(), step.result);
        EXPECT_EQ(fake->operations().size(), step.writes ? 1u : 0u);
        EXPECT_EQ(device->hogModePID(), step.ownerAfter);
    }
    const auto plain = AudioDevice::lookup(addDevice("Plain"));
    EXPECT_EQ(plain->hogModePID(), std::nullopt);
    EXPECT_FALSE(plain->setHogMode());
    EXPECT_FALSE(plain->unsetHogMode());
}

TEST_F(DevicePropertiesTest, ClockSources) {
    coreaudio::FakeDeviceSetup setup;
    setup.clockSources = {{3, "Internal"}, {1, std::nullopt}, {2, "External"}};
    setup.clockSource = 2;
    const auto device = AudioDevice::lookup(fake->addDevice(setup));
    EXPECT_EQ(device->clockSourceIDs(), (std::vector<std::uint32_t>{3, 1, 2}));
    EXPECT_EQ(device->clockSourceNames(),
              (std::vector<std::string>{"Internal", "Clock source 1", "External"}));
    EXPECT_EQ(device->clockSourceName(), "External");
    EXPECT_TRUE(device->setClockSourceID(1));
    EXPECT_EQ(device->clockSourceID(), 1u);
    EXPECT_EQ(device->clockSourceName(), std::nullopt);  // no name for 1

    const auto plain = AudioDevice::lookup(addDevice("Plain"));
    EXPECT_EQ(plain->clockSourceNames(), std::nullopt);
    EXPECT_EQ(plain->clockSourceName(), std::nullopt);
    EXPECT_FALSE(plain->setClockSourceID(1));
    fake->setRecords(plain->objectID(), global("csc#"), std::vector<std::uint32_t>{});
    EXPECT_EQ(plain->clockSourceNames(), std::vector<std::string>{});
}

TEST_F(DevicePropertiesTest, DataSourcesPerScope) {
    coreaudio::FakeDeviceSetup setup;
    setup.inputChannels = 2;
    setup.inputDataSources = {{5, "Line In"}, {6, "Mic"}};
    const auto device = AudioDevice::lookup(fake->addDevice(setup));
    EXPECT_EQ(device->dataSources(Scope::input), (std::vector<std::uint32_t>{5, 6}));
    EXPECT_EQ(device->dataSource(Scope::input), std::vector<std::uint32_t>{5});
    EXPECT_EQ(device->dataSourceName(6, Scope::input), "Mic");
    EXPECT_EQ(device->dataSourceName(7, Scope::input), std::nullopt);
    EXPECT_EQ(device->dataSources(Scope::output), std::nullopt);
    EXPECT_EQ(device->dataSourceName(5, Scope::output), std::nullopt);
}

}  // namespace
}  // namespace pex::test
