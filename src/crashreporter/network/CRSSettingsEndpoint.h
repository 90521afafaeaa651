#pragma once
// Where the crash SDK's settings come from: a host that is a deployment setting (https in
// production, the loopback stand-in in tests and the demo); the settings path is below it.
#include <optional>
#include <string>

namespace pex {

class CRSSettingsEndpoint {
  public:
    // "scheme://host[:port]", no trailing slash.
    static std::string origin();
    static void setOriginForTesting(std::optional<std::string> origin);
};

}  // namespace pex
