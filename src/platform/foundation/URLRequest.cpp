#include "platform/foundation/URLRequest.h"

#include <algorithm>
#include <cctype>

namespace pex {

namespace {

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

}  // namespace

std::optional<std::string> headerValue(const HTTPHeaders& headers, const std::string& name) {
    for (const HTTPHeader& header : headers) {
        if (sameName(header.name, name)) return header.value;
    }
    return std::nullopt;
}

void URLRequest::setValue(const std::string& value, const std::string& name) {
    auto first = std::find_if(headers.begin(), headers.end(),
                              [&](const HTTPHeader& h) { return sameName(h.name, name); });
    if (first == headers.end()) {
        headers.push_back({name, value});
        return;
    }
    first->value = value;
    headers.erase(std::remove_if(std::next(first), headers.end(),
                                 [&](const HTTPHeader& h) { return sameName(h.name, name); }),
                  headers.end());
}

}  // namespace pex
