// Installation identifiers come from the keychain, from the service's replies and from the
// older SDK's key. Whatever the text: validation answers consistently, the identifier and the
// project ID stay single path segments of the service's addresses, and an identifier derived
// from any key is 11 URL-safe characters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "beacon-core/installations/BCNInstallationsAPIService.h"
#include "beacon-core/installations/BCNInstallationsIIDStore.h"
#include "platform/foundation/URLComponents.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The segment as the server reads it; none when it holds a bad escape.
std::optional<std::string> unescaped(std::string_view segment) {
    std::string out;
    for (std::size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] != '%') {
            out += segment[i];
            continue;
        }
        if (i + 2 >= segment.size()) return std::nullopt;
        const int high = hexValue(segment[i + 1]);
        const int low = hexValue(segment[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pex;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // "<FID>\0<project ID>"; without a NUL the whole input is the FID.
    const std::size_t cut = input.find('\0');
    const std::string FID(input.substr(0, cut));
    const std::string project =
        cut == std::string_view::npos ? "project-one" : std::string(input.substr(cut + 1));

    BCNInstallationsItem item("1:123:ios:0a1b2c", "__BCNAPP_DEFAULT");
    item.beaconInstallationID = FID;
    item.registrationStatus = BCNInstallationsRegistrationStatus::Unregistered;
    ErrorRef error;
    const bool valid = item.isValid(&error);
    if (valid == (error != nullptr) || valid == FID.empty()) __builtin_trap();

    // The token address: origin, then exactly the segments v1/projects/<project>/installations/
    // <FID>/authTokens:generate, each read back as it was given.
    const BCNInstallationsAPIService api(nullptr, "api-key", project, nullptr);
    const std::string url = api.authTokenRequestWithInstallation(item).url;
    const std::string origin = BCNInstallationsAPIService::origin();
    if (url.compare(0, origin.size(), origin) != 0) __builtin_trap();
    const std::string_view path = std::string_view(url).substr(origin.size());
    std::vector<std::string_view> segments;
    for (std::size_t start = 1; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        segments.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    if (path.empty() || path[0] != '/' || segments.size() != 6 || segments[0] != "v1" ||
        segments[1] != "projects" || unescaped(segments[2]) != project ||
        segments[3] != "installations" || unescaped(segments[4]) != FID ||
        segments[5] != "authTokens:generate")
        __builtin_trap();
    if (path.find_first_of("?#") != std::string_view::npos) __builtin_trap();
    const auto parsed = URLComponents::parse(url);
    if (!parsed || !parsed->query.empty()) __builtin_trap();

    // The identifier the older SDK derived from its public key.
    const std::string IID = BCNInstallationsIIDStore::IIDWithPublicKeyData(input);
    if (IID.size() != 11 || std::string_view("cdef").find(IID[0]) == std::string_view::npos)
        __builtin_trap();
    for (char c : IID) {
        const bool urlSafe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!urlSafe) __builtin_trap();
    }
    return 0;
}
