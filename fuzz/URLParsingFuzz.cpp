// Addresses come from the service (the line document, upload replies) and from deployment
// settings. Parsing refuses what is not an address; comparing and escaping never fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/DeploymentSettings.h"
#include "platform/foundation/URLComponents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto url = URLComponents::parse(text)) {
        // An address always lies under itself.
        if (!URLComponents::isUnder(text, text)) __builtin_trap();
    }
    if (const auto origin = Origin::parse(text)) {
        // An origin's own text reads back as the same origin.
        const auto again = Origin::parse(origin->text());
        if (!again || !(*again == *origin)) __builtin_trap();
    }
    (void)percentEscape(text);
    (void)percentEscape(text, "/:?&=");
    // Two addresses, one per line.
    const auto split = text.find('\n');
    if (split != std::string::npos) {
        (void)URLComponents::isUnder(text.substr(0, split), text.substr(split + 1));
    }
    return 0;
}
