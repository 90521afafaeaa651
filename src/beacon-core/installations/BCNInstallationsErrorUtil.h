#pragma once
// Every failure of the installations component is an error of the domain
// "com.beacon.installations", made here: code 0 (unknown), 1 (keychain) or 2 (server
// unreachable). Failure replies of the service are BCNInstallationsHTTPError.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon-core/PRMPromise.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/URLRequest.h"
#include "platform/security/SecureItemQuery.h"

namespace pex {

class BCNInstallationsErrorUtil {
  public:
    static constexpr const char* kErrorDomain = "com.beacon.installations";
    static constexpr std::int64_t kErrorCodeUnknown = 0;
    static constexpr std::int64_t kErrorCodeKeychain = 1;
    static constexpr std::int64_t kErrorCodeServerUnreachable = 2;

    static ErrorRef keyedArchiverErrorWithException(const Exception& exception);
    static ErrorRef keyedArchiverErrorWithError(const ErrorRef& error);
    // Code 1, "<function> (<status>)". Not the keychain utilities' factory of the same name,
    // whose errors are code 0 of their own domain.
    static ErrorRef keychainErrorWithFunction(const std::string& function, SecStatus status);
    static ErrorRef installationItemNotFoundForAppID(const std::string& appID,
                                                     const std::string& appName);
    static ErrorRef corruptedIIDTokenData();
    static ErrorRef JSONSerializationError(const ErrorRef& error);
    static ErrorRef FIDRegistrationErrorWithResponseMissingField(const std::string& fieldName);
    static ErrorRef networkErrorWithError(const ErrorRef& error);
    static ErrorRef backoffIntervalWaitError();
    // Without a failure reason: "Underlying error: <its localized description>".
    static ErrorRef installationsErrorWithCode(std::int64_t code,
                                               const std::optional<std::string>& failureReason,
                                               const ErrorRef& underlyingError);
    static ErrorRef APIErrorWithHTTPResponse(const HTTPURLResponse& response,
                                             const std::string& data);
    // Errors of the installations domain as they are; others wrapped in a code-0 error.
    static ErrorRef publicDomainErrorWithError(const ErrorRef& error);
    static bool isAPIError(const ErrorRef& error, long HTTPCode);
    static PRMPromiseRef rejectedPromiseWithError(const ErrorRef& error);
};

}  // namespace pex
