#include "service/ParameterEncoding.h"

#include <utility>
#include <vector>

#include "platform/foundation/URLComponents.h"

namespace pex {

namespace {

// Kept as they are in query values: what a query may hold apart from the delimiters.
constexpr std::string_view kQueryKeep = "/?";

void components(const std::string& key, const nlohmann::json& value,
                std::vector<std::pair<std::string, std::string>>& out) {
    if (value.is_object()) {
        for (const auto& [name, nested] : value.items()) {
            components(key + "[" + name + "]", nested, out);
        }
    } else if (value.is_array()) {
        for (const auto& nested : value) components(key + "[]", nested, out);
    } else if (value.is_boolean()) {
        out.emplace_back(key, value.get<bool>() ? "1" : "0");
    } else if (value.is_string()) {
        out.emplace_back(key, value.get<std::string>());
    } else if (value.is_null()) {
        out.emplace_back(key, "");
    } else {
        out.emplace_back(key, value.dump());
    }
}

}  // namespace

std::string queryString(const nlohmann::json& parameters) {
    if (!parameters.is_object()) return {};
    // nlohmann's object keeps its keys sorted, so the order is stable.
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& [key, value] : parameters.items()) components(key, value, pairs);
    std::string query;
    for (const auto& [key, value] : pairs) {
        if (!query.empty()) query += '&';
        query += percentEscape(key, kQueryKeep) + "=" + percentEscape(value, kQueryKeep);
    }
    return query;
}

std::string appendingQuery(const std::string& address, const std::string& query) {
    if (query.empty()) return address;
    const auto fragment = address.find('#');
    std::string base = address.substr(0, fragment);
    base += (base.find('?') == std::string::npos ? "?" : "&") + query;
    if (fragment != std::string::npos) base += address.substr(fragment);
    return base;
}

}  // namespace pex
