// The service-line document comes from the static-file host; each line's "host" may become the
// address that carries the user's token, so reading it must refuse anything that is not a
// usable https (or loopback http) address, and never fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Page/View/NetChannelView.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The bytes as one line's host, as a document may give it.
    if (const auto base = NetChannelView::normalizeHost(std::string(text))) {
        (void)NetChannelView::isUsableLineAddress(*base);
    }
    const nlohmann::json reply = nlohmann::json::parse(text, nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) return 0;
    const auto lines = reply.find("data");
    if (lines == reply.end() || !lines->is_array()) return 0;
    for (const nlohmann::json& element : *lines) {
        if (!element.is_object()) continue;
        const NetChannelView::Row row{element, {}, {}};
        (void)row.name();
        const auto base = NetChannelView::normalizeHost(row.host());
        if (base && NetChannelView::isUsableLineAddress(*base)) {
            // A usable line is an https address, or http on a loopback host.
            if (!base->starts_with("https://") && !base->starts_with("http://")) __builtin_trap();
        }
    }
    return 0;
}
