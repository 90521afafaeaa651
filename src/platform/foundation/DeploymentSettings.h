#pragma once
// Settings left to deployment, in one place: the service host of the mainland line, the
// static-file host, the captcha page host, the outside AI provider host and the largest
// résumé file sent to that provider. Defaults are
// fixed at build time (see cmake/Deployment.cmake); tests that start the stand-in service on
// a free port move them.
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

struct Origin {
    std::string scheme;        // "https", or "http" for loopback hosts only
    std::string host;          // lower case; an IPv6 address without its brackets
    int port = 0;              // 0: the scheme's default
    std::string text() const;  // "scheme://host[:port]", IPv6 hosts in brackets
    bool isLoopback() const;   // 127.0.0.0/8, "localhost" or ::1
    // Parses "scheme://host[:port]" (a trailing "/" is allowed; scheme and host are matched
    // without regard to case). Absent when malformed (user info, a path, query, an empty or
    // invalid host, a port outside 1-65535) or when plain http names a host that is not
    // loopback.
    static std::optional<Origin> parse(const std::string& text);

    bool operator==(const Origin&) const = default;
};

struct DeploymentSettings {
    Origin serviceOrigin;
    Origin staticOrigin;
    Origin captchaOrigin;
    Origin aiProviderOrigin;
    std::uint64_t resumeMaxBytes = 20'000'000;

    // The settings in use; they start as the build's defaults. Change them only while nothing
    // else reads them (start-up, or a test's set-up).
    static DeploymentSettings& current();
    // The build's defaults; a default that does not parse is a broken build and throws
    // std::logic_error.
    static DeploymentSettings buildDefaults();
    // Points every host at one origin (the stand-in service in tests and the demo); the other
    // settings stay.
    static void useSingleOrigin(const Origin& origin);
    static void resetToBuildDefaults();
};

}  // namespace pex
