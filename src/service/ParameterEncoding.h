#pragma once
// How request parameters travel: in the query string for GET, as a JSON body otherwise.
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

// The parameters of a GET as a query: keys in sorted order, values percent-escaped, nested
// objects as "key[sub]=", arrays as "key[]=", Booleans as 1 and 0, null as an empty value.
std::string queryString(const nlohmann::json& parameters);

// `address` with `query` appended after "?" (or "&" when it already has a query).
std::string appendingQuery(const std::string& address, const std::string& query);

}  // namespace pex
