#pragma once
// Decides, for each finished request of the crash SDK, whether it succeeded, failed for good or
// may be tried again, and builds the errors that say why.
//
// Errors of the "CRSNetworkError" domain:
//   -1  the server answered with a status worth retrying (408, 420, 429, 5xx)
//   -3  the session made no task
//   -4  the reply cannot be used (an unexpected status, or a Content-Type the request did not
//       accept)
//   -5  the server refused the request as invalid (400, 401, 403, 404, ...)
//   -6  the retry limit was reached
// Transport failures arrive as errors of the URL-loading domain (kCRSURLErrorDomain) with the
// platform's numeric codes (-1001 timed out, -1004 cannot connect, ...).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URLError.h"
#include "platform/foundation/URLRequest.h"

namespace pex {

inline constexpr char kCRSNetworkErrorDomain[] = "CRSNetworkError";
inline constexpr char kCRSURLErrorDomain[] = "URLErrorDomain";
// The user-information key of the address a transport error or the retry-limit error is about.
inline constexpr char kCRSURLErrorFailingURLKey[] = "URLErrorFailingURLStringErrorKey";

enum CRSNetworkErrorCode : std::int64_t {
    CRSNetworkErrorCodeRetryableStatus = -1,
    CRSNetworkErrorCodeTaskCreation = -3,
    CRSNetworkErrorCodeUnrecoverable = -4,
    CRSNetworkErrorCodeInvalidRequest = -5,
    CRSNetworkErrorCodeRetryLimit = -6,
};

// What a status means for the request (see the class table in the .cpp file).
enum class CRSNetworkClientResponseType : int {
    Success = 0,
    Unrecoverable = 1,
    Invalid = 2,
    Retryable = 3,
    TooManyRequests = 4,
};

class CRSNetworkResponseHandler {
  public:
    using Completion = std::function<void(bool retry, const ErrorRef& error)>;

    // Calls `block` once with whether to retry and the error (none on success).
    static void handleCompletedResponse(const std::optional<HTTPURLResponse>& response,
                                        const URLRequest& originalRequest,
                                        const std::optional<URLError>& transportError,
                                        const Completion& block);

    // The class of the status; a missing response counts as status 0.
    static void clientResponseType(
        const std::optional<HTTPURLResponse>& response,
        const std::function<void(CRSNetworkClientResponseType type, long status)>& handler);
    static CRSNetworkClientResponseType typeForStatus(long status);

    // User information: "type", "status_code", "request_id", "content_type" (empty texts for
    // absent headers).
    static ErrorRef errorForResponse(const std::optional<HTTPURLResponse>& response,
                                     CRSNetworkClientResponseType type, long status);
    static ErrorRef errorForCode(std::int64_t code, nlohmann::json userInfo = nullptr);

    // A transport failure as an error of the URL-loading domain.
    static ErrorRef errorForURLError(const URLError& error);
    static std::int64_t codeForURLError(URLError::Code code);
    // Whether trying again may help: not for bad addresses, refused security, missing files,
    // nor for a transfer that was cancelled on purpose.
    static bool retryableURLError(const ErrorRef& error);

    // Whether the reply's Content-Type is what the request's "Accept" (and "Accept-Charset")
    // asked for; a request without "Accept" takes anything.
    static bool contentTypeForResponse(const std::optional<HTTPURLResponse>& response,
                                       const URLRequest& request);
    static std::optional<std::string> headerForResponse(
        const std::optional<HTTPURLResponse>& response, const std::string& key);
    // "Retry-After" in seconds: 2 when absent or negative, 0 when it does not read as a number.
    static double retryValueForResponse(const std::optional<HTTPURLResponse>& response);
    static std::optional<std::string> requestIdForResponse(
        const std::optional<HTTPURLResponse>& response);
    // For a cancelled transfer, the reason a background task gave (an integer under
    // "backgroundTaskCancelledReason"); -1 otherwise.
    static std::int64_t cancelReasonFromURLError(const ErrorRef& error);
};

}  // namespace pex
