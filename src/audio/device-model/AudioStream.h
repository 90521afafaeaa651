#pragma once
// One stream of a device: channels flowing in one direction, with a format. Pooled and
// listened to like devices; physical-format and activity changes become notifications.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/device-model/AudioObject.h"
#include "audio/device-model/Scope.h"
#include "audio/device-model/TerminalType.h"
#include "platform/coreaudio/AudioTypes.h"

namespace pex {

class AudioStream final : public AudioObject {
  public:
    using Format = coreaudio::AudioStreamBasicDescription;
    using RangedFormat = coreaudio::AudioStreamRangedDescription;

    // The pooled stream for the ID, else a new one; nothing when its owner cannot be read.
    static std::shared_ptr<AudioStream> lookup(AudioObjectID objectID);
    static std::shared_ptr<AudioStream> make(AudioObjectID objectID);

    ~AudioStream() override;

    bool isActive();  // 'sact' reads exactly 1
    std::optional<std::uint32_t> startingChannel();
    std::optional<std::uint32_t> latency();
    std::optional<Scope> direction();  // 'sdir': 0 output, 1 input
    TerminalType terminalType();

    std::optional<Format> physicalFormat();
    void setPhysicalFormat(const std::optional<Format>& format);
    std::optional<Format> virtualFormat();
    void setVirtualFormat(const std::optional<Format>& format);

    // Read once; absent when the first read failed.
    std::optional<std::vector<RangedFormat>> availablePhysicalFormats();
    std::optional<std::vector<RangedFormat>> availableVirtualFormats();

    // The available formats whose rate range is pinned at the current format's rate.
    std::optional<std::vector<Format>> matchingPhysicalFormats(bool includeNonMixable);
    std::optional<std::vector<Format>> matchingVirtualFormats(bool includeNonMixable);

    // The name, or "Stream <id>", then " (<id>)".
    std::string description();

    void registerForNotifications();
    void unregisterForNotifications();
    bool isRegisteredForNotifications() const;

    explicit AudioStream(AudioObjectID objectID);  // use lookup or make

  private:
    std::optional<Format> format(const char* selector);
    void setFormat(const char* selector, const char* label, const std::optional<Format>& format);
    std::optional<std::vector<RangedFormat>> readAvailable(const char* selector);
    std::optional<std::vector<Format>> matching(std::optional<std::vector<RangedFormat>> available,
                                                std::optional<Format> current,
                                                bool includeNonMixable);

    struct LazyFormats {
        bool loaded = false;
        std::optional<std::vector<RangedFormat>> value;
    };
    LazyFormats availablePhysical_;
    LazyFormats availableVirtual_;
    bool isRegisteredForNotifications_ = false;
};

// "48000 Hz 'lpcm' flags 0x9, 2 ch, 32 bit" for log lines.
std::string describeFormat(const coreaudio::AudioStreamBasicDescription& format);

}  // namespace pex
