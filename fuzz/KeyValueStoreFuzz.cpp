// The crash SDK's key-value store reads its property-list file at every launch; the file may
// be damaged or replaced by anything. Reading it must give a dictionary or nothing, never fail.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crashreporter/CRSUserDefaults.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto dictionary = pex::CRSUserDefaults::dictionaryFromPropertyList(bytes);
    if (dictionary) {
        // What was read can be written out again and still reads as a dictionary.
        const pex::PropertyList written(*dictionary);
        const auto again = pex::CRSUserDefaults::dictionaryFromPropertyList(
            written.serialize(pex::PropertyList::Format::Binary));
        if (!again || again->size() != dictionary->size()) __builtin_trap();
    }
    return 0;
}
