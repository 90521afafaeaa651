// Times in service replies are texts such as "2024-03-05T07:08:09.123+0800"; whatever the
// service sends converts or gives "", in any output pattern.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "service/DateHelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)dateFromISO8601String(text, "yyyy-MM-dd HH:mm:ss");
    (void)dateFromISO8601String(text, "MM/dd E a hh:mm:ss.SSS Z");
    // The bytes after a newline as the pattern, the ones before as the time.
    const auto split = text.find('\n');
    if (split != std::string_view::npos) {
        (void)dateFromISO8601String(text.substr(0, split), text.substr(split + 1));
    }
    return 0;
}
