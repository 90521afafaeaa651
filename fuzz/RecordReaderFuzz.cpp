// Crash record files are read on the launch after a crash; the process that wrote them may
// have died mid-line or left anything on disk. Reading them must never fail harder than
// skipping a line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crashreporter/runtime/CRSFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const nlohmann::json& section : pex::CRSFileParseSections(bytes)) {
        // Every kept line is a section object; hex-encoded values decode or are refused.
        if (!section.is_object()) __builtin_trap();
        for (const auto& [name, value] : section.items()) {
            if (value.is_string()) {
                (void)pex::CRSFileHexDecodeString(value.get_ref<const std::string&>().c_str());
            }
        }
    }
    // The same bytes as text handed to the hex helpers.
    const std::string text(bytes.substr(0, bytes.find('\0')));
    (void)pex::CRSFileHexDecodeString(text.c_str());
    (void)pex::CRSFileHexEncodeString(text.c_str());
    return 0;
}
