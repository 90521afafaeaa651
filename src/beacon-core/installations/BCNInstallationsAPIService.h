#pragma once
// The installations service's REST calls: register an installation, generate a fresh auth
// token, delete an installation. Each builds its request, sends it through the service's own
// URL session (one retry after 1 s on a 500 reply), turns a non-2xx reply into a
// `BCNInstallationsHTTPError` and parses a 2xx reply. Each returns a promise of a
// `BCNInstallationsItem` (boxed). When to call them is the ID controller's decision.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "beacon-core/PRMPromise.h"
#include "beacon-core/installations/BCNInstallationsItem.h"
#include "platform/foundation/URLRequest.h"
#include "platform/foundation/URLSession.h"

namespace pex {

class BCNHeartbeatLogger;

// A reply as the service gave it: the head and the body ("" when none came).
struct BCNInstallationsURLSessionResponse {
    HTTPURLResponse HTTPResponse;
    std::string data;
};

class BCNInstallationsAPIService {
  public:
    // The service origin: the deployment setting, unless a test replaced it.
    static std::string origin();
    static void setOriginForTesting(std::optional<std::string> origin);

    BCNInstallationsAPIService(std::string APIKey, std::string projectID,
                               std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger);
    BCNInstallationsAPIService(std::shared_ptr<URLSession> session, std::string APIKey,
                               std::string projectID,
                               std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger);

    PRMPromiseRef registerInstallation(const BCNInstallationsItem& installation) const;
    PRMPromiseRef refreshAuthTokenForInstallation(const BCNInstallationsItem& installation) const;
    PRMPromiseRef deleteInstallation(const BCNInstallationsItem& installation) const;

    // ---- Steps ----
    URLRequest registerRequestWithInstallation(const BCNInstallationsItem& installation) const;
    URLRequest authTokenRequestWithInstallation(const BCNInstallationsItem& installation) const;
    URLRequest deleteInstallationRequestWithInstallation(
        const BCNInstallationsItem& installation) const;
    URLRequest requestWithURL(const std::string& url, const std::string& HTTPMethod,
                              const nlohmann::json& bodyDict,
                              const std::optional<std::string>& refreshToken,
                              const HTTPHeaders& additionalHeaders = {}) const;
    // Fulfilled with a boxed `BCNInstallationsURLSessionResponse` of a 2xx reply.
    PRMPromiseRef sendURLRequest(const URLRequest& request) const;
    PRMPromiseRef URLRequestPromise(const URLRequest& request) const;
    static std::string SDKVersion();

    // Header fields as they may be logged: credentials are replaced by "<redacted>".
    static std::string loggableHeaders(const HTTPHeaders& headers);

    const std::string& APIKey() const { return APIKey_; }
    const std::string& projectID() const { return projectID_; }

  private:
    std::string installationURL(const BCNInstallationsItem& installation) const;
    // Builds the request on a utility queue, then sends it: taking the heartbeats for the
    // client header reads and rewrites their store on disk, which must not hold up the caller
    // (the main queue, where promise work settles).
    PRMPromiseRef buildAndSend(
        std::function<URLRequest(const BCNInstallationsAPIService&)> build) const;

    std::shared_ptr<URLSession> session_;
    std::string APIKey_;
    std::string projectID_;
    std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger_;
};

}  // namespace pex
