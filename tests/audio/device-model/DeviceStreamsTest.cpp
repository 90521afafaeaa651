// Streams and channel counts, latency and buffer sizes, sample rates.
#include "audio/device-model/AudioDevice.h"
#include "audio/device-model/AudioStream.h"
#include "audio/device-model/DeviceModelFixture.h"

namespace pex::test {
namespace {

using coreaudio::AudioObjectID;
using coreaudio::AudioObjectPropertyAddress;
using coreaudio::AudioValueRange;
namespace scope = coreaudio::scope;
namespace status = coreaudio::status;

AudioObjectPropertyAddress at(const char* selector, std::uint32_t scopeCode = scope::global,
                              std::uint32_t element = 0) {
    return {fourCC(selector), scopeCode, element};
}

using DeviceStreamsTest = DeviceModelTest;

TEST_F(DeviceStreamsTest, ChannelsAddUpOverTheStreams) {
    const auto id = addDevice("Speakers", 0, 2);
    const auto first = fake->streams(id, scope::output).at(0);
    // A second two-channel output stream.
    const auto second = fake->addObject(coreaudio::classid::stream, id);
    fake->setUInt32(second, at("sdir"), 0);
    fake->setBytes(second, at("pft ", scope::output),
                   fake->bytes(first, at("pft ", scope::output)));
    // A stream with no readable direction counts nothing.
    const auto odd = fake->addObject(coreaudio::classid::stream, id);
    fake->setUInt32(odd, at("sdir"), 2);
    fake->setRecords(id, at("stm#", scope::output), std::vector<AudioObjectID>{first, second, odd});

    const auto device = AudioDevice::lookup(id);
    EXPECT_EQ(device->channels(Scope::output), 4u);
    EXPECT_EQ(device->channels(Scope::input), 0u);
    const auto streams = device->streams(Scope::output);
    ASSERT_TRUE(streams);
    ASSERT_EQ(streams->size(), 3u);
    EXPECT_EQ(streams->at(1), AudioStream::lookup(second));
    fake->removeProperty(id, at("stm#", scope::output));
    EXPECT_EQ(device->channels(Scope::output), 0u);
    EXPECT_EQ(device->streams(Scope::output), std::nullopt);
}

TEST_F(DeviceStreamsTest, InputOnlyAndOutputOnly) {
    struct Case {
        std::uint32_t in, out;
        bool inputOnly, outputOnly;
    };
    for (const Case& c : {Case{2, 0, true, false}, Case{0, 2, false, true},
                          Case{2, 2, false, false}, Case{0, 0, false, false}}) {
        const auto device = AudioDevice::lookup(addDevice("Device", c.in, c.out));
        EXPECT_EQ(device->isInputOnlyDevice(), c.inputOnly) << c.in << "/" << c.out;
        EXPECT_EQ(device->isOutputOnlyDevice(), c.outputOnly) << c.in << "/" << c.out;
    }
}

TEST_F(DeviceStreamsTest, LayoutChannelNamesAndJack) {
    const auto id = addDevice("Duplex", 1, 6);
    const auto device = AudioDevice::lookup(id);
    EXPECT_EQ(device->layoutChannels(Scope::output), 6u);
    EXPECT_EQ(device->layoutChannels(Scope::input), 1u);
    EXPECT_EQ(device->layoutChannels(Scope::global), std::nullopt);
    fake->setText(id, at("lchn", scope::output, 1), "Left");
    fake->setText(id, at("lchn", scope::output, 2), "");
    EXPECT_EQ(device->name(1, Scope::output), "Left");
    EXPECT_EQ(device->name(2, Scope::output), std::nullopt);
    EXPECT_EQ(device->name(3, Scope::output), std::nullopt);
    fake->setUInt32(id, at("jack", scope::output), 1);
    EXPECT_EQ(device->isJackConnected(Scope::output), true);
    EXPECT_EQ(device->isJackConnected(Scope::input), std::nullopt);
}

TEST_F(DeviceStreamsTest, LatencyAddsUp) {
    const auto id = addDevice("Speakers", 0, 2);
    const auto stream = fake->streams(id, scope::output).at(0);
    fake->setUInt32(stream, at("ltnc"), 10);
    fake->setUInt32(id, at("ltnc", scope::output), 20);
    fake->setUInt32(id, at("saft", scope::output), 5);
    fake->setUInt32(id, at("fsiz", scope::output), 512, true);
    const auto device = AudioDevice::lookup(id);
    EXPECT_EQ(device->totalLatencyFrames(Scope::output), 547u);
    EXPECT_EQ(device->totalLatencyFrames(Scope::input), 0u);

    EXPECT_EQ(device->totalLatencySeconds(Scope::output), std::nullopt);
    EXPECT_EQ(lines(systemLog),
              std::vector<std::string>{"default: Unable to get actualSampleRate from device"});
    fake->setFloat64(id, at("asrt"), 48000);
    EXPECT_DOUBLE_EQ(*device->totalLatencySeconds(Scope::output), 547.0 / 48000);

    EXPECT_TRUE(device->setBufferFrameSize(256, Scope::output));
    EXPECT_EQ(device->bufferFrameSize(Scope::output), 256u);
    EXPECT_FALSE(device->setBufferFrameSize(256, Scope::input));
    EXPECT_EQ(device->latency(Scope::input), std::nullopt);
    EXPECT_EQ(device->safetyOffset(Scope::output), 5u);
}

TEST_F(DeviceStreamsTest, AvailableBufferFrameSizes) {
    using Sizes = std::optional<std::vector<std::uint32_t>>;
    const std::vector<std::pair<std::optional<std::vector<AudioValueRange>>, Sizes>> table = {
        {std::vector<AudioValueRange>{{15, 512}},
         std::vector<std::uint32_t>{16, 32, 64, 128, 256, 512}},
        {std::vector<AudioValueRange>{{17, 100}}, std::vector<std::uint32_t>{32, 64}},
        {std::vector<AudioValueRange>{{17, 20}}, std::vector<std::uint32_t>{}},  // 32 is not taken
        {std::vector<AudioValueRange>{{100, 130}, {500, 600}},
         std::vector<std::uint32_t>{112, 128, 512}},
        {std::vector<AudioValueRange>{}, std::nullopt},
        {std::nullopt, std::nullopt},
    };
    for (const auto& [ranges, expected] : table) {
        const auto id = addDevice("Speakers");
        if (ranges) fake->setRecords(id, at("fsz#", scope::wildcard), *ranges);
        EXPECT_EQ(AudioDevice::lookup(id)->availableBufferFrameSizes(), expected)
            << (ranges && !ranges->empty() ? ranges->front().mMinimum : -1);
    }
}

TEST_F(DeviceStreamsTest, NominalSampleRatesFromRanges) {
    using Rates = std::optional<std::vector<double>>;
    const std::vector<std::pair<std::optional<std::vector<AudioValueRange>>, Rates>> table = {
        {std::vector<AudioValueRange>{{8000, 192000}},
         std::vector<double>{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000,
                             88200, 96000, 128000, 176400, 192000}},
        {std::vector<AudioValueRange>{{44100, 44100}, {48000, 48000}},
         std::vector<double>{44100, 48000}},
        {std::vector<AudioValueRange>{{7000, 48000}}, std::vector<double>{}},
        {std::vector<AudioValueRange>{}, std::vector<double>{}},
        {std::nullopt, std::nullopt},
    };
    for (const auto& [ranges, expected] : table) {
        coreaudio::FakeDeviceSetup setup;
        if (ranges) setup.nominalSampleRates = *ranges;
        const auto id = fake->addDevice(setup);
        if (ranges && ranges->empty()) fake->setRecords(id, at("nsr#", scope::wildcard), *ranges);
        EXPECT_EQ(AudioDevice::lookup(id)->nominalSampleRates(), expected);
    }
    EXPECT_EQ(lines(modelLog),
              std::vector<std::string>{
                  "debug: Failed to obtain list of supported sample rates ranging from "
                  "7000.000000 to 48000.000000. This is an error in AudioDeviceHub and should be "
                  "reported to the project maintainers."});
}

TEST_F(DeviceStreamsTest, NominalAndActualRate) {
    coreaudio::FakeDeviceSetup setup;
    setup.nominalSampleRate = 44100;
    const auto device = AudioDevice::lookup(fake->addDevice(setup));
    EXPECT_EQ(device->nominalSampleRate(), 44100.0);
    EXPECT_EQ(device->actualSampleRate(), 44100.0);
    EXPECT_TRUE(device->setNominalSampleRate(48000));
    EXPECT_EQ(device->nominalSampleRate(), 48000.0);
    fake->failNext(device->objectID(), at("nsrt"), status::unspecified, 1,
                   coreaudio::FakeAudioHardware::Operation::Set);
    EXPECT_FALSE(device->setNominalSampleRate(96000));
    const auto plain = AudioDevice::lookup(addDevice("Plain"));
    EXPECT_EQ(plain->nominalSampleRate(), std::nullopt);
    EXPECT_FALSE(plain->setNominalSampleRate(48000));
}

}  // namespace
}  // namespace pex::test
