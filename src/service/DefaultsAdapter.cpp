#include "service/DefaultsAdapter.h"

namespace pex {
using nlohmann::json;

DefaultsAdapter& DefaultsAdapter::shared() {
    static DefaultsAdapter adapter(UserDefaults::standard());
    return adapter;
}

std::optional<json> DefaultsAdapter::readJsonData(const std::string& key) const {
    auto bytes = store_.data(key);
    if (!bytes) return std::nullopt;
    json parsed = json::parse(bytes->begin(), bytes->end(), nullptr, false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

void DefaultsAdapter::writeJsonData(const std::string& key, const json& value) {
    const std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
    store_.setData(key, Bytes(text.begin(), text.end()));
}

}  // namespace pex
