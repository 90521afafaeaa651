// The fake backend behaves like the hardware where the device model depends on it: sizes,
// strings, lists, qualifiers, defaults, aggregates, forced failures and its operation log.
#include "platform/coreaudio/FakeAudioHardware.h"

#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "platform/coreaudio/HardwareLayer.h"
#include "platform/coreaudio/PropertyString.h"

namespace pex::coreaudio {
namespace {

AudioObjectPropertyAddress global(const char* selector) {
    return {fourCC(selector), scope::global, kElementMain};
}

class FakeAudioHardwareTest : public ::testing::Test {
  protected:
    FakeAudioHardwareTest() { installBackend(fake); }
    ~FakeAudioHardwareTest() override {
        drainNotifications();
        installBackend(nullptr);
    }

    AudioObjectID device(const std::string& name, std::uint32_t in, std::uint32_t out) {
        return fake->addDevice(FakeDeviceSetup::named(name, in, out));
    }
    template <typename T>
    std::vector<T> list(AudioObjectID object, const AudioObjectPropertyAddress& at,
                        std::vector<AudioClassID> qualifier = {}) {
        std::uint32_t size = 0;
        const auto qualifierSize = static_cast<std::uint32_t>(qualifier.size() * 4);
        EXPECT_EQ(getPropertyDataSize(object, at, qualifierSize, qualifier.data(), size), 0);
        std::vector<T> values(size / sizeof(T));
        EXPECT_EQ(getPropertyData(object, at, qualifierSize, qualifier.data(), size, values.data()),
                  0);
        values.resize(size / sizeof(T));
        return values;
    }
    std::string text(AudioObjectID object, const AudioObjectPropertyAddress& at) {
        PropertyString value;
        std::uint32_t size = sizeof(value);
        EXPECT_EQ(getPropertyData(object, at, 0, nullptr, size, &value), 0);
        return value.str();
    }

    std::shared_ptr<FakeAudioHardware> fake = std::make_shared<FakeAudioHardware>();
};

TEST_F(FakeAudioHardwareTest, WritesAreLoggedAndVisibleToTheNextReadOnAnyThread) {
    const AudioObjectID speakers = device("Speakers", 0, 2);
    FakeDeviceSetup setup;
    setup.name = "Volume";
    setup.controls.push_back({scope::output, 1, 0.25f, true, true});
    const AudioObjectID withVolume = fake->addDevice(setup);

    const std::uint32_t id = 42;
    EXPECT_EQ(setPropertyData(kSystemObject, global("dOut"), 0, nullptr, 4, &id), 0);
    const float half = 0.5f;
    const AudioObjectPropertyAddress volume{fourCC("volm"), scope::output, 1};
    EXPECT_EQ(setPropertyData(withVolume, volume, 0, nullptr, 4, &half), 0);
    const PropertyString renamed("Renamed");
    EXPECT_EQ(setPropertyData(speakers, global("lnam"), 0, nullptr, 8, &renamed),
              status::illegalOperation);  // names are not settable

    EXPECT_EQ(fake->operations(),
              (std::vector<std::string>{
                  "Set 1 'dOut' glob 0 = 42",
                  "Set " + std::to_string(withVolume) + " 'volm' outp 1 = 0.5",
                  "Set " + std::to_string(speakers) + " 'lnam' glob 0 = \"Renamed\"",
              }));
    std::uint32_t seen = 0;
    std::thread([&] {
        std::uint32_t size = 4;
        getPropertyData(kSystemObject, global("dOut"), 0, nullptr, size, &seen);
    }).join();
    EXPECT_EQ(seen, 42u);
    EXPECT_EQ(text(speakers, global("lnam")), "Speakers");
}

TEST_F(FakeAudioHardwareTest, ForcedFailuresCountDownPerOperation) {
    const AudioObjectID speakers = device("Speakers", 0, 2);
    fake->failNext(speakers, global("livn"), status::notRunning, 2,
                   FakeAudioHardware::Operation::Get);
    std::uint32_t value = 0;
    std::uint32_t size = 4;
    EXPECT_EQ(getPropertyDataSize(speakers, global("livn"), 0, nullptr, size), 0);
    EXPECT_EQ(getPropertyData(speakers, global("livn"), 0, nullptr, size, &value),
              status::notRunning);
    EXPECT_EQ(getPropertyData(speakers, global("livn"), 0, nullptr, size, &value),
              status::notRunning);
    EXPECT_EQ(getPropertyData(speakers, global("livn"), 0, nullptr, size, &value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(getPropertyData(777777, global("livn"), 0, nullptr, size, &value), status::badObject);
    EXPECT_EQ(getPropertyData(speakers, global("zzzz"), 0, nullptr, size, &value),
              status::unknownProperty);
}

TEST_F(FakeAudioHardwareTest, DevicesHaveStreamsLayoutsAndOwnedObjectsByClass) {
    const AudioObjectID mic = device("Mic", 1, 0);
    const AudioObjectID duplex = device("Duplex", 2, 6);
    EXPECT_EQ(list<AudioObjectID>(kSystemObject, global("dev#")), (std::vector{mic, duplex}));

    const auto outputs = list<AudioObjectID>(duplex, {fourCC("stm#"), scope::output, 0});
    ASSERT_EQ(outputs.size(), 1u);
    AudioStreamBasicDescription format;
    std::uint32_t size = sizeof(format);
    ASSERT_EQ(
        getPropertyData(outputs[0], {fourCC("pft "), scope::output, 0}, 0, nullptr, size, &format),
        0);
    EXPECT_EQ(format.mChannelsPerFrame, 6u);

    AudioChannelLayout layout;
    size = sizeof(layout);  // longer layouts are cut to the room given
    ASSERT_EQ(
        getPropertyData(duplex, {fourCC("srnd"), scope::output, 0}, 0, nullptr, size, &layout), 0);
    EXPECT_EQ(size, 32u);
    EXPECT_EQ(layout.mNumberChannelDescriptions, 6u);

    EXPECT_EQ(list<AudioObjectID>(duplex, global("ownd"), {classid::object}).size(), 2u);
    EXPECT_EQ(list<AudioObjectID>(duplex, global("ownd"), {classid::device}).size(), 0u);
    EXPECT_EQ(list<AudioObjectID>(duplex, global("ownd"), {classid::stream}).size(), 2u);

    // A list read into less room than it needs is cut to whole entries.
    std::vector<AudioObjectID> one(2);
    size = 6;
    ASSERT_EQ(getPropertyData(kSystemObject, global("dev#"), 0, nullptr, size, one.data()), 0);
    EXPECT_EQ(size, 4u);
}

TEST_F(FakeAudioHardwareTest, RemovingADeviceClearsItsRolesAndReportsTheListChange) {
    const AudioObjectID speakers = device("Speakers", 0, 2);
    fake->setDefaultDevice(fourCC("dOut"), speakers);
    const auto streams = fake->streams(speakers, scope::output);
    fake->removeDevice(speakers);
    EXPECT_FALSE(fake->hasObject(speakers));
    EXPECT_FALSE(fake->hasObject(streams.at(0)));
    EXPECT_EQ(fake->defaultDevice(fourCC("dOut")), kNoObject);
    EXPECT_TRUE(list<AudioObjectID>(kSystemObject, global("dev#")).empty());
}

TEST_F(FakeAudioHardwareTest, TranslatesUIDsAndSourceNames) {
    FakeDeviceSetup setup;
    setup.uid = "Clocked_UID";
    setup.clockSources = {{7, "Internal"}, {9, std::nullopt}};
    const AudioObjectID clocked = fake->addDevice(setup);

    PropertyString uid("Clocked_UID");
    AudioObjectID found = 0;
    AudioValueTranslation byUID{&uid, 8, &found, 4};
    std::uint32_t size = sizeof(byUID);
    ASSERT_EQ(getPropertyData(kSystemObject, global("duid"), 0, nullptr, size, &byUID), 0);
    EXPECT_EQ(found, clocked);

    for (auto [id, expected] :
         {std::pair<std::uint32_t, AudioStatus>{7, 0}, {9, status::illegalOperation}}) {
        PropertyString name;
        AudioValueTranslation byID{&id, 4, &name, 8};
        size = sizeof(byID);
        EXPECT_EQ(getPropertyData(clocked, global("lcsn"), 0, nullptr, size, &byID), expected);
        if (expected == 0) {
            EXPECT_EQ(name.str(), "Internal");
        }
    }
}

TEST_F(FakeAudioHardwareTest, HogModeWritesToggleOwnershipByThisProcess) {
    FakeDeviceSetup setup;
    setup.hogMode = true;
    const AudioObjectID device = fake->addDevice(setup);
    const AudioObjectPropertyAddress hog{fourCC("oink"), scope::wildcard, 0};
    const double zero = 0;
    auto owner = [&] {
        std::int32_t pid = 0;
        std::uint32_t size = 4;
        getPropertyData(device, hog, 0, nullptr, size, &pid);
        return pid;
    };
    EXPECT_EQ(owner(), -1);
    ASSERT_EQ(setPropertyData(device, hog, 0, nullptr, 8, &zero), 0);
    EXPECT_EQ(owner(), ::getpid());
    ASSERT_EQ(setPropertyData(device, hog, 0, nullptr, 8, &zero), 0);
    EXPECT_EQ(owner(), -1);
}

TEST_F(FakeAudioHardwareTest, AggregateCreationValidatesAndRecordsTheDescription) {
    device("Loop", 2, 2);
    device("Speakers", 0, 2);
    const nlohmann::json subdevices = {{{"uid", "Loop_UID"}}, {{"uid", "Speakers_UID"}}};
    const std::vector<nlohmann::json> invalid = {
        nlohmann::json::array(),
        {{"uid", "A"}, {"subdevices", subdevices}},   // no name
        {{"name", "A"}, {"subdevices", subdevices}},  // no uid
        {{"name", "A"}, {"uid", "A"}, {"subdevices", nlohmann::json::array()}},
        {{"name", "A"}, {"uid", "A"}, {"subdevices", {{{"uid", "Nobody"}}}}},
        {{"name", "A"}, {"uid", "A"}, {"subdevices", subdevices}, {"master", "Nobody"}},
        {{"name", "A"}, {"uid", "A"}, {"subdevices", subdevices}, {"stacked", 2}},
        {{"name", "A"}, {"uid", "Loop_UID"}, {"subdevices", subdevices}},  // UID taken
    };
    for (const auto& description : invalid) {
        AudioObjectID created = 0;
        EXPECT_EQ(createAggregateDevice(description, created), status::illegalOperation)
            << description.dump();
    }
    EXPECT_EQ(fake->devices().size(), 2u);

    const nlohmann::json valid = {{"name", "Both"},
                                  {"uid", "Both_UID"},
                                  {"subdevices", subdevices},
                                  {"master", "Loop_UID"},
                                  {"stacked", 1}};
    fake->failNextAggregateCreation(status::unspecified);
    AudioObjectID created = 0;
    EXPECT_EQ(createAggregateDevice(valid, created), status::unspecified);
    ASSERT_EQ(createAggregateDevice(valid, created), 0);
    EXPECT_EQ(fake->aggregateDescriptions().size(), invalid.size() + 2);
    EXPECT_EQ(fake->aggregateDescriptions().back(), valid);
    EXPECT_EQ(fake->operations().back(), "CreateAggregate " + valid.dump());
    EXPECT_EQ(fake->uint32(created, global("clas")), classid::aggregateDevice);
    EXPECT_EQ(list<AudioObjectID>(created, global("ownd"), {classid::device}).size(), 2u);
    EXPECT_EQ(text(created, global("uid ")), "Both_UID");

    EXPECT_EQ(destroyAggregateDevice(fake->devices().front()), status::badObject);
    EXPECT_EQ(destroyAggregateDevice(created), 0);
    EXPECT_EQ(fake->devices().size(), 2u);
}

TEST_F(FakeAudioHardwareTest, AReadHookRunsBetweenTheSizeAndTheRead) {
    const AudioObjectID first = device("First", 0, 2);
    const AudioObjectID second = device("Second", 0, 2);
    std::uint32_t size = 0;
    ASSERT_EQ(getPropertyDataSize(kSystemObject, global("dev#"), 0, nullptr, size), 0);
    fake->beforeNextRead(kSystemObject, global("dev#"), [&] { fake->removeDevice(second); });
    std::vector<AudioObjectID> ids(size / 4);
    ASSERT_EQ(getPropertyData(kSystemObject, global("dev#"), 0, nullptr, size, ids.data()), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(ids.front(), first);
}

}  // namespace
}  // namespace pex::coreaudio
