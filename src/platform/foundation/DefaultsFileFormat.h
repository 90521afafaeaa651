#pragma once
// The on-disk form of a settings store: one JSON object from key to value. JSON has no bytes,
// so a data value is written as the object {"$data": "<base64>"}. To keep a stored
// dictionary from ever looking like that tag, every dictionary key that starts with "$" is
// written with one more "$" in front, and reading drops it again.
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace pex {

class DefaultsFileFormat {
  public:
    // `values` must be a JSON object (the store's key-value map).
    static std::string encode(const nlohmann::json& values);
    // The key-value map; absent with `problem` set when `text` is not a store file.
    static std::optional<nlohmann::json> decode(std::string_view text, std::string& problem);

    static std::string base64(const nlohmann::json::binary_t& bytes);
    static std::optional<nlohmann::json::binary_t> fromBase64(std::string_view text);
};

}  // namespace pex
