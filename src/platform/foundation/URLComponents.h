#pragma once
// Parsing addresses and escaping text for them, for code that must compare or build URLs.
#include <optional>
#include <string>
#include <string_view>

namespace pex {

struct URLComponents {
    std::string scheme;  // lower case
    std::string host;    // lower case
    int port = 0;        // the scheme's default when the address names none
    std::string path;    // "/" when the address has none
    std::string query;   // without "?"

    // None when the text is not an absolute http or https address.
    static std::optional<URLComponents> parse(const std::string& address);

    // True when `address` lies under `base`: same scheme, host and port, and a path equal to
    // base's path or continuing it after a "/". "https://a.com/api" does not contain
    // "https://a.com/api2" nor "https://a.com.example/api".
    static bool isUnder(const std::string& address, const std::string& base);
};

// Percent-escapes every byte except the unreserved characters (letters, digits, "-._~") and
// those listed in `keep`.
std::string percentEscape(std::string_view text, std::string_view keep = {});

}  // namespace pex
