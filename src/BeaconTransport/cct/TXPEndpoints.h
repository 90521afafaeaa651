#pragma once
// Where each upload target's events go: paths below the telemetry host, a deployment setting
// (https in production, the loopback stand-in in tests and the demo).
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

class TXPEndpoints {
  public:
    // The target's endpoint; none for targets the uploader does not serve.
    static std::optional<std::string> uploadURLForTarget(std::int64_t target);
    // The telemetry host in use ("scheme://host[:port]"); tests move it to their stand-in.
    static std::string origin();
    static void setOriginForTesting(std::optional<std::string> origin);
    // The user-agent name of a target ("txb", "fll", "csh", "int", else "unknown").
    static std::string userAgentName(std::int64_t target);
    // The shared API key for targets 1001-1003; none for the others.
    static std::optional<std::string> APIKeyForTarget(std::int64_t target);
};

}  // namespace pex
