#pragma once
// Filling a caller's buffer in answer to a property read, the same for every backend: the size
// checks, the translation structures and the cutting of plain values to the buffer.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/coreaudio/AudioTypes.h"

namespace pex::coreaudio {

struct PropertyReply {
    // A text property: `data` holds a PropertyString, and `size` must be exactly its size.
    static AudioStatus text(const std::string& text, std::uint32_t size, void* data);
    // The device with a UID: an AudioValueTranslation from a PropertyString to an AudioObjectID.
    static AudioStatus deviceForUID(
        std::uint32_t size, void* data,
        const std::function<AudioObjectID(const std::string&)>& deviceWithUID);
    // A name looked up by number: an AudioValueTranslation from a std::uint32_t to a
    // PropertyString; a number without a name is an illegal operation.
    static AudioStatus name(const std::map<std::uint32_t, std::string>& names, std::uint32_t size,
                            void* data);
    // A value converted in place: `data` holds one float, which becomes `convert` of it.
    static AudioStatus converted(float (*convert)(float), std::uint32_t size, void* data);
    // A plain value: as many of its bytes as fit (whole object IDs only, for a list of IDs);
    // `size` becomes the number copied.
    static AudioStatus bytes(const std::vector<std::byte>& value, bool idList, std::uint32_t& size,
                             void* data);
};

}  // namespace pex::coreaudio
