#pragma once
// What the crash SDK asks of the installation service: this installation's identifier (FID)
// and an auth token taken without forcing a refresh. The service answers asynchronously, on a
// queue of its own choosing, possibly late or never.
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"

namespace pex {

class CRSInstallations {
  public:
    using IDCompletion = std::function<void(std::optional<std::string> fid, ErrorRef error)>;
    using TokenCompletion =
        std::function<void(std::optional<std::string> authToken, ErrorRef error)>;

    virtual ~CRSInstallations() = default;
    virtual void installationIDWithCompletion(IDCompletion completion) = 0;
    virtual void authTokenWithCompletion(TokenCompletion completion) = 0;
};

}  // namespace pex
