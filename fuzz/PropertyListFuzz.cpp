// Property lists arrive as files other programs wrote (XML or binary). Reading must refuse what
// is not a property list; what it reads must convert to the settings store's JSON form and
// back, and serialise into both formats that read again.
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
    for (const auto format : {PropertyList::Format::Xml, PropertyList::Format::Binary}) {
        const std::string written = value->serialize(format);
        if (!PropertyList::parse(written, &problem)) __builtin_trap();
    }
    return 0;
}
