#pragma once
// Reads a settings document as the settings host sends it: a JSON object of at most
// kMaximumSize bytes. Anything else (a fragment, an array, broken JSON, text that is not
// UTF-8) is not a settings document and must never replace the cached one.
#include <cstddef>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace pex {

class CRSSettingsDocument {
  public:
    static constexpr std::size_t kMaximumSize = 4 * 1024 * 1024;

    static std::optional<nlohmann::json> parse(std::string_view bytes);
};

}  // namespace pex
