#pragma once
// The vocabulary of the audio hardware layer: object IDs, property addresses built from
// four-character codes, statuses, and the fixed-size records that properties carry. Sizes are
// part of the contract: callers read and write these records byte for byte.
#include <cstdint>
#include <string>
#include <string_view>

namespace pex::coreaudio {

using AudioObjectID = std::uint32_t;
using AudioClassID = std::uint32_t;
// 0 is success; failures are four-character codes or small negative numbers.
using AudioStatus = std::int32_t;

// The 32-bit value whose bytes, most significant first, are the four characters of `code`.
constexpr std::uint32_t fourCC(std::string_view code) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = i < code.size() ? code[i] : ' ';
        value = (value << 8) | static_cast<std::uint8_t>(c);
    }
    return value;
}

// "'volm'" for a printable code, the decimal value otherwise (0, wildcards of other shapes).
std::string fourCCText(std::uint32_t code);

struct AudioObjectPropertyAddress {
    std::uint32_t mSelector = 0;
    std::uint32_t mScope = 0;
    std::uint32_t mElement = 0;

    bool operator==(const AudioObjectPropertyAddress&) const = default;
    auto operator<=>(const AudioObjectPropertyAddress&) const = default;
};
static_assert(sizeof(AudioObjectPropertyAddress) == 12);

// "'volm', 'outp', 2": the address as it appears in log lines.
std::string describe(const AudioObjectPropertyAddress& address);

inline constexpr AudioObjectID kNoObject = 0;
inline constexpr AudioObjectID kSystemObject = 1;

namespace scope {
inline constexpr std::uint32_t global = fourCC("glob");
inline constexpr std::uint32_t input = fourCC("inpt");
inline constexpr std::uint32_t output = fourCC("outp");
inline constexpr std::uint32_t playThrough = fourCC("ptru");
inline constexpr std::uint32_t wildcard = fourCC("****");
}  // namespace scope

inline constexpr std::uint32_t kSelectorWildcard = fourCC("****");
inline constexpr std::uint32_t kElementMain = 0;
inline constexpr std::uint32_t kElementWildcard = 0xFFFFFFFF;
// Every property of an object: what a catch-all listener registers for.
inline constexpr AudioObjectPropertyAddress kEveryProperty{kSelectorWildcard, scope::wildcard,
                                                           kElementWildcard};

// Object classes.
namespace classid {
inline constexpr AudioClassID object = fourCC("aobj");
inline constexpr AudioClassID system = fourCC("asys");
inline constexpr AudioClassID device = fourCC("adev");
inline constexpr AudioClassID subDevice = fourCC("asub");
inline constexpr AudioClassID aggregateDevice = fourCC("aagg");
inline constexpr AudioClassID endPoint = fourCC("endp");
inline constexpr AudioClassID endPointDevice = fourCC("edev");
inline constexpr AudioClassID stream = fourCC("astr");
inline constexpr AudioClassID control = fourCC("actl");
}  // namespace classid

// Statuses the layer and its backends return.
namespace status {
inline constexpr AudioStatus ok = 0;
inline constexpr AudioStatus notRunning = static_cast<AudioStatus>(fourCC("stop"));
inline constexpr AudioStatus unspecified = static_cast<AudioStatus>(fourCC("what"));
inline constexpr AudioStatus unknownProperty = static_cast<AudioStatus>(fourCC("who?"));
inline constexpr AudioStatus badPropertySize = static_cast<AudioStatus>(fourCC("!siz"));
inline constexpr AudioStatus illegalOperation = static_cast<AudioStatus>(fourCC("nope"));
inline constexpr AudioStatus badObject = static_cast<AudioStatus>(fourCC("!obj"));
inline constexpr AudioStatus badDevice = static_cast<AudioStatus>(fourCC("!dev"));
inline constexpr AudioStatus unsupportedOperation = static_cast<AudioStatus>(fourCC("unop"));
}  // namespace status

// A range of values, such as sample rates or buffer sizes.
struct AudioValueRange {
    double mMinimum = 0;
    double mMaximum = 0;
};
static_assert(sizeof(AudioValueRange) == 16);

// One stream format.
struct AudioStreamBasicDescription {
    double mSampleRate = 0;
    std::uint32_t mFormatID = 0;
    std::uint32_t mFormatFlags = 0;
    std::uint32_t mBytesPerPacket = 0;
    std::uint32_t mFramesPerPacket = 0;
    std::uint32_t mBytesPerFrame = 0;
    std::uint32_t mChannelsPerFrame = 0;
    std::uint32_t mBitsPerChannel = 0;
    std::uint32_t mReserved = 0;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

inline constexpr std::uint32_t kAudioFormatLinearPCM = fourCC("lpcm");
inline constexpr std::uint32_t kAudioFormatFlagIsFloat = 0x1;
inline constexpr std::uint32_t kAudioFormatFlagIsPacked = 0x8;
inline constexpr std::uint32_t kAudioFormatFlagIsNonMixable = 0x40;

// A format together with the sample rates it accepts.
struct AudioStreamRangedDescription {
    AudioStreamBasicDescription mFormat;
    AudioValueRange mSampleRateRange;
};
static_assert(sizeof(AudioStreamRangedDescription) == 56);

// A property that converts a value: the caller points at its input and at room for the output.
struct AudioValueTranslation {
    void* mInputData = nullptr;
    std::uint32_t mInputDataSize = 0;
    void* mOutputData = nullptr;
    std::uint32_t mOutputDataSize = 0;
};
static_assert(sizeof(AudioValueTranslation) == 32);

struct AudioChannelDescription {
    std::uint32_t mChannelLabel = 0;
    std::uint32_t mChannelFlags = 0;
    float mCoordinates[3] = {0, 0, 0};
};
static_assert(sizeof(AudioChannelDescription) == 20);

// A channel layout with room for one channel description; longer layouts are read truncated
// to this size, which still tells the number of descriptions.
struct AudioChannelLayout {
    std::uint32_t mChannelLayoutTag = 0;
    std::uint32_t mChannelBitmap = 0;
    std::uint32_t mNumberChannelDescriptions = 0;
    AudioChannelDescription mChannelDescriptions[1];
};
static_assert(sizeof(AudioChannelLayout) == 32);

// The size in bytes of a layout with `channels` descriptions.
constexpr std::uint32_t channelLayoutSize(std::uint32_t channels) {
    return 12 + 20 * channels;
}

}  // namespace pex::coreaudio
