// Property lists arrive as files other programs wrote (XML or binary). Reading must refuse what
// is not a property list; what it reads must convert to the settings store's JSON form and
// back, and serialise into both formats that read again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string problem;
    const auto value = PropertyList::parse(bytes, &problem);
    if (!value) return 0;
    (void)value->description();
    (void)PropertyList::fromJson(value->toJson());
    // Texts that are not UTF-8 have no property-list form that reads back, so the round trip is
    // checked for plain ASCII input only.
    const bool ascii = std::none_of(bytes.begin(), bytes.end(),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    for (const auto format : {PropertyList::Format::Xml, PropertyList::Format::Binary}) {
        const std::string written = value->serialize(format);
        if (!PropertyList::parse(written, &problem) && ascii) __builtin_trap();
    }
    return 0;
}
