#include "crashreporter/network/CRSSettingsDocument.h"

namespace pex {

std::optional<nlohmann::json> CRSSettingsDocument::parse(std::string_view bytes) {
    if (bytes.size() > kMaximumSize) return std::nullopt;
    auto parsed = nlohmann::json::parse(bytes, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

}  // namespace pex
