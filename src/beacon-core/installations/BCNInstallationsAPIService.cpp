#include "beacon-core/installations/BCNInstallationsAPIService.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/BCNHeartbeatLogger.h"
#include "beacon-core/BCNLogger.h"
#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsLogging.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeploymentDefaults.h"
#include "platform/foundation/DeploymentOrigin.h"
#include "platform/foundation/URLComponents.h"
#include "platform/foundation/WorkerPool.h"

namespace pex {

namespace {

constexpr const char* kMigrationHeader = "x-beacon-bis-ios-iid-migration-auth";
// Replies of this service are small; a larger one is refused rather than held in memory.
constexpr std::uint64_t kMaximumReplySize = 1024 * 1024;

DeploymentOrigin& deployedOrigin() {
    static auto* origin = new DeploymentOrigin(deployment_defaults::kInstallationsOrigin);
    return *origin;
}

// A transport failure as an error of the URL-loading domain, with the loading codes.
ErrorRef errorFromURLError(const URLError& error) {
    std::int64_t code = -1;
    switch (error.code) {
        case URLError::Code::Cancelled:
            code = -999;
            break;
        case URLError::Code::TimedOut:
            code = -1001;
            break;
        case URLError::Code::CannotConnectToHost:
            code = -1004;
            break;
        case URLError::Code::NotConnectedToInternet:
            code = -1009;
            break;
        case URLError::Code::CannotFindHost:
            code = -1003;
            break;
        case URLError::Code::NetworkConnectionLost:
            code = -1005;
            break;
        case URLError::Code::SecureConnectionFailed:
            code = -1200;
            break;
        case URLError::Code::BadURL:
            code = -1000;
            break;
        default:
            break;
    }
    return Error::make("NSURLErrorDomain", code,
                       {{"NSLocalizedDescription", error.debugDescription()},
                        {"NSErrorFailingURLStringKey", error.failingURL}});
}

bool isCredentialHeader(const std::string& name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "authorization" || lower == "x-beacon-api-key" || lower == kMigrationHeader;
}

// Credentials a reply carries: never written to a log line.
void redactCredentials(nlohmann::json& value) {
    if (value.is_object()) {
        for (auto& [key, nested] : value.items()) {
            if (key == "refreshToken" || key == "token")
                nested = "<redacted>";
            else
                redactCredentials(nested);
        }
    } else if (value.is_array()) {
        for (auto& nested : value) redactCredentials(nested);
    }
}

// The body as text for a log line, with its credentials replaced; a body that is not JSON is
// logged by its size only.
std::string loggableBody(const std::string& body) {
    try {
        auto parsed = nlohmann::json::parse(body);
        redactCredentials(parsed);
        return parsed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const nlohmann::json::exception&) {
        return "(" + std::to_string(body.size()) + " bytes)";
    }
}

std::string describeRequest(const std::string& method, const std::string& url) {
    return "{ " + method + " " + url + " }";
}

// The 2xx reply a promise step received, announced as about to be parsed.
const BCNInstallationsURLSessionResponse& replyToParse(const PRMValue& value) {
    const auto& reply = *value.as<BCNInstallationsURLSessionResponse>();
    BCNLogDebug(kBCNInstallationsLogService, BCNInstallationsMessageCode::kParsingResponse,
                "Parsing server response for %@.", reply.HTTPResponse.url);
    return reply;
}

std::string describeResponse(const HTTPURLResponse& response) {
    return "{ URL: " + response.url + " } { Status Code: " + std::to_string(response.statusCode) +
           " }";
}

}  // namespace

std::string BCNInstallationsAPIService::origin() {
    return deployedOrigin().value();
}

void BCNInstallationsAPIService::setOriginForTesting(std::optional<std::string> origin) {
    deployedOrigin().setForTesting(std::move(origin));
}

BCNInstallationsAPIService::BCNInstallationsAPIService(
    std::string APIKey, std::string projectID, std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger)
    : BCNInstallationsAPIService(std::make_shared<URLSession>(), std::move(APIKey),
                                 std::move(projectID), std::move(heartbeatLogger)) {}

BCNInstallationsAPIService::BCNInstallationsAPIService(
    std::shared_ptr<URLSession> session, std::string APIKey, std::string projectID,
    std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger)
    : session_(std::move(session)),
      APIKey_(std::move(APIKey)),
      projectID_(std::move(projectID)),
      heartbeatLogger_(std::move(heartbeatLogger)) {}

std::string BCNInstallationsAPIService::SDKVersion() {
    return "i:" + BCNBeaconVersion();
}

std::string BCNInstallationsAPIService::loggableHeaders(const HTTPHeaders& headers) {
    std::string out = "{";
    for (const auto& header : headers) {
        if (out.size() > 1) out += ", ";
        out += header.name + ": " + (isCredentialHeader(header.name) ? "<redacted>" : header.value);
    }
    return out + "}";
}

std::string BCNInstallationsAPIService::installationURL(
    const BCNInstallationsItem& installation) const {
    // Project IDs and FIDs are path segments: escaped, so no "/", "?" or ".." can reshape the path.
    return origin() + "/v1/projects/" + percentEscape(projectID_) + "/installations/" +
           percentEscape(installation.beaconInstallationID.value_or(""));
}

URLRequest BCNInstallationsAPIService::requestWithURL(
    const std::string& url, const std::string& HTTPMethod, const nlohmann::json& bodyDict,
    const std::optional<std::string>& refreshToken, const HTTPHeaders& additionalHeaders) const {
    URLRequest request(url, HTTPMethod);
    request.maximumResponseSize = kMaximumReplySize;
    request.headers.push_back({"X-Beacon-Api-Key", APIKey_});
    const std::string bundleID = Bundle::main().bundleIdentifier();
    if (!bundleID.empty()) request.headers.push_back({"X-Ios-Bundle-Identifier", bundleID});
    request.setValue("application/json", "Content-Type");
    try {
        request.httpBody = bodyDict.dump();
    } catch (const nlohmann::json::exception&) {
        request.httpBody.clear();
    }
    if (refreshToken) request.setValue("BIS_v2 " + *refreshToken, "Authorization");
    if (heartbeatLogger_) {
        if (auto header = heartbeatLogger_->headerValue())
            request.setValue(*header, "X-beacon-client");
    }
    for (const auto& header : additionalHeaders) request.setValue(header.value, header.name);
    return request;
}

URLRequest BCNInstallationsAPIService::registerRequestWithInstallation(
    const BCNInstallationsItem& installation) const {
    const std::string url =
        origin() + "/v1/projects/" + percentEscape(projectID_) + "/installations/";
    nlohmann::json body = {{"fid", installation.beaconInstallationID.value_or("")},
                           {"authVersion", "BIS_v2"},
                           {"appId", installation.appID()},
                           {"sdkVersion", SDKVersion()}};
    HTTPHeaders extra;
    if (installation.IIDDefaultToken)
        extra.push_back({kMigrationHeader, *installation.IIDDefaultToken});
    return requestWithURL(url, "POST", body, std::nullopt, extra);
}

URLRequest BCNInstallationsAPIService::authTokenRequestWithInstallation(
    const BCNInstallationsItem& installation) const {
    nlohmann::json body = {{"installation", {{"sdkVersion", SDKVersion()}}}};
    return requestWithURL(installationURL(installation) + "/authTokens:generate", "POST", body,
                          installation.refreshToken);
}

URLRequest BCNInstallationsAPIService::deleteInstallationRequestWithInstallation(
    const BCNInstallationsItem& installation) const {
    return requestWithURL(installationURL(installation) + "/", "DELETE", nlohmann::json::object(),
                          installation.refreshToken);
}

PRMPromiseRef BCNInstallationsAPIService::URLRequestPromise(const URLRequest& request) const {
    BCNLogDebug(kBCNInstallationsLogService, BCNInstallationsMessageCode::kRequestSending,
                "Sending request: %@, body:%@, headers: %@.",
                describeRequest(request.httpMethod, request.url), loggableBody(request.httpBody),
                loggableHeaders(request.headers));
    auto promise = PRMPromise::pendingPromise();
    auto session = session_;
    promise->addPendingObject(session);
    auto task = session->dataTask(
        request, DispatchQueue::global(QualityOfService::Utility),
        [promise, described = describeRequest(request.httpMethod, request.url),
         url = request.url](URLDataResult result) {
            if (result.error || !result.response) {
                const URLError error = result.error.value_or(URLError(URLError::Code::Other, url));
                BCNLogDebug(kBCNInstallationsLogService,
                            BCNInstallationsMessageCode::kRequestFailed,
                            "Request failed: %@, error: %@.", described, error.debugDescription());
                promise->reject(errorFromURLError(error));
                return;
            }
            BCNLogDebug(kBCNInstallationsLogService, BCNInstallationsMessageCode::kRequestResponse,
                        "Request response received: %@, error: %@, body: %@.", described, "(null)",
                        loggableBody(result.data));
            const HTTPURLResponse& response = *result.response;
            if (!response.isSuccess()) {
                BCNLogDebug(kBCNInstallationsLogService,
                            BCNInstallationsMessageCode::kUnexpectedResponse,
                            "Unexpected API response: %@, body: %@.", describeResponse(response),
                            loggableBody(result.data));
                promise->reject(
                    BCNInstallationsErrorUtil::APIErrorWithHTTPResponse(response, result.data));
                return;
            }
            promise->fulfill(
                PRMValue::box(BCNInstallationsURLSessionResponse{response, result.data}));
        });
    task->resume();
    return promise;
}

PRMPromiseRef BCNInstallationsAPIService::sendURLRequest(const URLRequest& request) const {
    return PRMPromise::attempts(
        1, 1.0,
        [](std::int64_t, const ErrorRef& error) {
            return BCNInstallationsErrorUtil::isAPIError(error, 500);
        },
        [self = *this, request]() -> PRMValue { return self.URLRequestPromise(request); });
}

PRMPromiseRef BCNInstallationsAPIService::buildAndSend(
    std::function<URLRequest(const BCNInstallationsAPIService&)> build) const {
    auto self = std::make_shared<const BCNInstallationsAPIService>(*this);
    return PRMPromise::doWork(DispatchQueue::global(QualityOfService::Utility),
                              [self, build = std::move(build)]() -> PRMValue {
                                  return PRMValue::box(build(*self));
                              })
        ->then([self](const PRMValue& request) -> PRMValue {
            return self->sendURLRequest(*request.as<URLRequest>());
        });
}

PRMPromiseRef BCNInstallationsAPIService::registerInstallation(
    const BCNInstallationsItem& installation) const {
    ErrorRef validationError;
    if (!installation.isValid(&validationError))
        return BCNInstallationsErrorUtil::rejectedPromiseWithError(validationError);
    return buildAndSend([installation](const BCNInstallationsAPIService& service) {
               return service.registerRequestWithInstallation(installation);
           })
        ->then([installation](const PRMValue& value) -> PRMValue {
            const BCNInstallationsURLSessionResponse& reply = replyToParse(value);
            ErrorRef error;
            auto registered = installation.registeredInstallationWithJSONData(
                reply.data, std::chrono::system_clock::now(), &error);
            if (!registered) {
                BCNLogDebug(
                    kBCNInstallationsLogService, BCNInstallationsMessageCode::kItemParseFailed,
                    "Failed to parse BCNInstallationsItem: %s.", error->description().c_str());
                return error;
            }
            BCNLogDebug(kBCNInstallationsLogService, BCNInstallationsMessageCode::kItemParsed,
                        "BCNInstallationsItem parsed successfully.");
            return PRMValue::box(*registered);
        });
}

PRMPromiseRef BCNInstallationsAPIService::refreshAuthTokenForInstallation(
    const BCNInstallationsItem& installation) const {
    return buildAndSend([installation](const BCNInstallationsAPIService& service) {
               return service.authTokenRequestWithInstallation(installation);
           })
        ->then([installation](const PRMValue& value) -> PRMValue {
            const BCNInstallationsURLSessionResponse& reply = replyToParse(value);
            ErrorRef error;
            auto token = BCNInstallationsItem::authTokenWithGenerateTokenAPIJSONData(
                reply.data, std::chrono::system_clock::now(), &error);
            if (!token) {
                BCNLogDebug(kBCNInstallationsLogService,
                            BCNInstallationsMessageCode::kAuthTokenParseFailed,
                            "Failed to parse BCNInstallationsStoredAuthToken: %s.",
                            error->description().c_str());
                return error;
            }
            BCNLogDebug(kBCNInstallationsLogService, BCNInstallationsMessageCode::kAuthTokenParsed,
                        "BCNInstallationsStoredAuthToken parsed successfully.");
            BCNInstallationsItem updated = installation;
            updated.authToken = *token;
            return PRMValue::box(updated);
        });
}

PRMPromiseRef BCNInstallationsAPIService::deleteInstallation(
    const BCNInstallationsItem& installation) const {
    return buildAndSend([installation](const BCNInstallationsAPIService& service) {
               return service.deleteInstallationRequestWithInstallation(installation);
           })
        ->then([installation](const PRMValue&) -> PRMValue { return PRMValue::box(installation); });
}

}  // namespace pex
