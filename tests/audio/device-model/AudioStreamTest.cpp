// Stream objects: direction, activity, formats and their lists, matching formats, writes,
// descriptions and notifications.
#include "audio/device-model/AudioStream.h"

#include "audio/device-model/AudioNotifications.h"
#include "audio/device-model/DeviceModelFixture.h"

namespace pex::test {
namespace {

using coreaudio::AudioObjectPropertyAddress;
using coreaudio::AudioStreamBasicDescription;
using coreaudio::AudioStreamRangedDescription;
namespace scope = coreaudio::scope;
namespace Note = AudioDeviceHubNotification;

AudioObjectPropertyAddress global(const char* selector) {
    return {fourCC(selector), scope::global, 0};
}

class AudioStreamTest : public DeviceModelTest {
  protected:
    // The output stream of a fresh two-channel device.
    coreaudio::AudioObjectID outputStream() {
        return fake->streams(addDevice("Speakers"), scope::output).at(0);
    }
    static AudioStreamBasicDescription format(double rate, std::uint32_t flags) {
        AudioStreamBasicDescription f;
        f.mSampleRate = rate;
        f.mFormatID = coreaudio::kAudioFormatLinearPCM;
        f.mFormatFlags = flags;
        f.mChannelsPerFrame = 2;
        f.mBitsPerChannel = 32;
        return f;
    }
};

TEST_F(AudioStreamTest, DirectionDecidesFormatsAndLists) {
    const std::vector<std::pair<std::optional<std::uint32_t>, std::optional<Scope>>> table = {
        {0, Scope::output}, {1, Scope::input}, {2, std::nullopt}, {std::nullopt, std::nullopt}};
    for (const auto& [value, direction] : table) {
        const auto id = outputStream();
        if (value) {
            fake->setUInt32(id, global("sdir"), *value);
            // The fake keeps formats in the output scope; give inputs theirs too.
            fake->setRecords(id, {fourCC("pft "), scope::input, 0}, std::vector{format(44100, 0)});
        } else {
            fake->removeProperty(id, global("sdir"));
        }
        const auto stream = AudioStream::lookup(id);
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->direction(), direction);
        EXPECT_EQ(stream->physicalFormat().has_value(), direction.has_value());
        EXPECT_EQ(stream->availablePhysicalFormats().has_value(), direction == Scope::output);
    }
}

TEST_F(AudioStreamTest, ActiveOnlyWhenTheFlagReadsOne) {
    const std::vector<std::pair<std::optional<std::uint32_t>, bool>> table = {
        {1, true}, {0, false}, {2, false}, {std::nullopt, false}};
    for (const auto& [value, active] : table) {
        const auto id = outputStream();
        if (value) {
            fake->setUInt32(id, global("sact"), *value);
        } else {
            fake->removeProperty(id, global("sact"));
        }
        EXPECT_EQ(AudioStream::lookup(id)->isActive(), active);
    }
    const auto failing = outputStream();
    fake->failNext(failing, global("sact"), coreaudio::status::unspecified);
    EXPECT_FALSE(AudioStream::lookup(failing)->isActive());
}

TEST_F(AudioStreamTest, ScalarsAndTerminalType) {
    const auto id = outputStream();
    const auto stream = AudioStream::lookup(id);
    EXPECT_EQ(stream->startingChannel(), 1u);
    EXPECT_EQ(stream->latency(), 0u);
    EXPECT_EQ(stream->terminalType(), TerminalType::speaker);
    fake->setUInt32(id, global("term"), fourCC("hdph"));
    EXPECT_EQ(stream->terminalType(), TerminalType::headphones);
    fake->removeProperty(id, global("term"));
    EXPECT_EQ(stream->terminalType(), TerminalType::unknown);
}

TEST_F(AudioStreamTest, DescriptionFallsBackToTheID) {
    const auto id = outputStream();
    const auto stream = AudioStream::lookup(id);
    const std::string number = std::to_string(id);
    EXPECT_EQ(stream->description(), "Stream " + number + " (" + number + ")");
    fake->setText(id, global("lnam"), "Main Out");
    EXPECT_EQ(stream->description(), "Main Out (" + number + ")");
}

TEST_F(AudioStreamTest, MatchingFormatsArePinnedAtTheCurrentRate) {
    const auto id = outputStream();
    const AudioObjectPropertyAddress available{fourCC("pfta"), scope::output, 0};
    fake->setRecords(id, available,
                     std::vector<AudioStreamRangedDescription>{
                         {format(48000, 0x0C), {44100, 48000}},  // a range, not pinned: out
                         {format(48000, 0x0C), {48000, 48000}},  // mixable: in
                         {format(48000, 0x4C), {48000, 48000}},  // non-mixable
                         {format(96000, 0x0C), {96000, 96000}},  // another rate: out
                     });
    const auto stream = AudioStream::lookup(id);  // current format: 48000 Hz
    const auto mixable = stream->matchingPhysicalFormats(false);
    ASSERT_TRUE(mixable);
    ASSERT_EQ(mixable->size(), 1u);
    EXPECT_EQ(mixable->at(0).mFormatFlags, 0x0Cu);
    const auto all = stream->matchingPhysicalFormats(true);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 2u);
    EXPECT_EQ(all->at(1).mFormatFlags, 0x4Cu);
    // The list was read once: later changes do not show.
    fake->removeProperty(id, available);
    EXPECT_EQ(stream->matchingPhysicalFormats(true)->size(), 2u);
    EXPECT_EQ(stream->matchingVirtualFormats(true)->size(), 1u);
}

TEST_F(AudioStreamTest, AStreamNeedsAReadableOwner) {
    const auto id = outputStream();
    fake->removeProperty(id, global("stdv"));
    EXPECT_EQ(AudioStream::lookup(id), nullptr);
    EXPECT_EQ(coreaudio::listenerCount(id), 0u);
}

TEST_F(AudioStreamTest, FormatWrites) {
    const auto id = outputStream();
    const auto stream = AudioStream::lookup(id);
    fake->clearOperations();

    // Nothing to write for an absent format.
    stream->setPhysicalFormat(std::nullopt);
    EXPECT_TRUE(fake->operations().empty());
    EXPECT_EQ(lines(modelLog),
              std::vector<std::string>{"debug: Error setting physicalFormat to none."});
    EXPECT_EQ(stream->physicalFormat()->mSampleRate, 48000);

    stream->setVirtualFormat(format(44100, 0x9));
    EXPECT_EQ(fake->operations().size(), 1u);
    EXPECT_EQ(stream->virtualFormat()->mSampleRate, 44100);

    fake->failNext(id, {fourCC("pft "), scope::output, 0}, coreaudio::status::unspecified, 1,
                   coreaudio::FakeAudioHardware::Operation::Set);
    stream->setPhysicalFormat(format(44100, 0x9));
    EXPECT_EQ(lines(modelLog).back(),
              "debug: Error setting physicalFormat to 44100 Hz 'lpcm' flags 0x9, 2 ch, 32 bit.");
    EXPECT_EQ(stream->physicalFormat()->mSampleRate, 48000);
}

TEST_F(AudioStreamTest, PhysicalFormatAndActivityChangesPost) {
    auto& physical = observe(Note::streamPhysicalFormatDidChange);
    auto& active = observe(Note::streamIsActiveDidChange);
    const auto id = outputStream();
    const auto stream = AudioStream::lookup(id);
    fake->emit(
        id,
        {{fourCC("sfmt"), scope::output, 0}, {fourCC("pft "), scope::output, 0}, global("sact")});
    fake->emit(id, {{fourCC("pfta"), scope::output, 0}});
    settle();
    ASSERT_EQ(physical.size(), 1u);
    EXPECT_EQ(physical[0].sender, stream.get());
    EXPECT_TRUE(physical[0].onMainThread);
    EXPECT_EQ(active.size(), 1u);
}

}  // namespace
}  // namespace pex::test
