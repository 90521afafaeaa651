#pragma once
// The installation identity as the sessions component needs it: the installation's
// identifier and auth token, each answered on another thread, and both together with a
// bounded wait.
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "platform/foundation/Error.h"
#include "sessions/BeaconSessionsError.h"

namespace pex {

class InstallationsProtocol {
  public:
    static constexpr double installationWaitSeconds = 10;

    using IDCompletion = std::function<void(std::optional<std::string> id, ErrorRef error)>;
    using TokenCompletion =
        std::function<void(std::optional<std::string> authToken, ErrorRef error)>;

    virtual ~InstallationsProtocol() = default;
    virtual void installationID(IDCompletion completion) = 0;
    // The token as it is now, not forcing a refresh.
    virtual void authToken(TokenCompletion completion) = 0;

    struct Identity {
        std::string installationID;
        std::string authToken;  // empty when the token request had none
    };
    // Success, or the reason: SessionInstallationsTimeOutError, or SessionInstallationsError
    // carrying the identifier request's error.
    using IdentityResult = std::variant<Identity, BeaconSessionsError>;
    // Asks for both at once and blocks the calling thread until both have answered, at most
    // `installationWaitSeconds` on the injectable clock. Call it from background queues only.
    IdentityResult installationIDAndToken();
};

}  // namespace pex
