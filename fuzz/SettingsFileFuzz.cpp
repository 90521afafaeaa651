// The settings file is JSON another copy of the program (or the user) may have written. A file
// that decodes must encode to a file that decodes to the same values; every typed reading of a
// stored value must hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/foundation/DefaultsFileFormat.h"
#include "platform/foundation/DefaultsValueReading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)DefaultsFileFormat::fromBase64(text);
    std::string problem;
    const auto values = DefaultsFileFormat::decode(text, problem);
    if (!values) return 0;
    if (!values->is_object()) __builtin_trap();
    for (const auto& [key, value] : values->items()) {
        const std::optional<nlohmann::json> stored = value;
        (void)DefaultsValueReading::boolValue(stored);
        (void)DefaultsValueReading::integerValue(stored);
        (void)DefaultsValueReading::doubleValue(stored);
    }
    const std::string written = DefaultsFileFormat::encode(*values);
    const auto again = DefaultsFileFormat::decode(written, problem);
    if (!again || *again != *values) __builtin_trap();
    return 0;
}
