#include "beacon-core/installations/BCNInstallationsErrorUtil.h"

#include "beacon-core/installations/BCNInstallationsHTTPError.h"

namespace pex {

ErrorRef BCNInstallationsErrorUtil::installationsErrorWithCode(
    std::int64_t code, const std::optional<std::string>& failureReason,
    const ErrorRef& underlyingError) {
    std::string reason;
    if (failureReason)
        reason = *failureReason;
    else
        reason = "Underlying error: " +
                 (underlyingError ? underlyingError->localizedDescription() : "(null)");
    return Error::make(kErrorDomain, code, {{Error::kFailureReasonKey, reason}}, underlyingError);
}

ErrorRef BCNInstallationsErrorUtil::keyedArchiverErrorWithException(const Exception& exception) {
    return installationsErrorWithCode(kErrorCodeUnknown,
                                      "NSKeyedArchiver exception with name: " + exception.name() +
                                          ", reason: " + exception.reason() + ", userInfo: (null)",
                                      nullptr);
}

ErrorRef BCNInstallationsErrorUtil::keyedArchiverErrorWithError(const ErrorRef& error) {
    return installationsErrorWithCode(kErrorCodeUnknown, "NSKeyedArchiver error.", error);
}

ErrorRef BCNInstallationsErrorUtil::keychainErrorWithFunction(const std::string& function,
                                                              SecStatus status) {
    return installationsErrorWithCode(kErrorCodeKeychain,
                                      function + " (" + std::to_string(status) + ")", nullptr);
}

ErrorRef BCNInstallationsErrorUtil::installationItemNotFoundForAppID(const std::string& appID,
                                                                     const std::string& appName) {
    return installationsErrorWithCode(
        kErrorCodeUnknown, "Installation for appID " + appID + " appName " + appName + " not found",
        nullptr);
}

ErrorRef BCNInstallationsErrorUtil::corruptedIIDTokenData() {
    return installationsErrorWithCode(
        kErrorCodeUnknown,
        "IID token data stored in Keychain is corrupted or in an incompatible format.", nullptr);
}

ErrorRef BCNInstallationsErrorUtil::JSONSerializationError(const ErrorRef& error) {
    return installationsErrorWithCode(kErrorCodeUnknown, "Failed to serialize JSON data.", error);
}

ErrorRef BCNInstallationsErrorUtil::FIDRegistrationErrorWithResponseMissingField(
    const std::string& fieldName) {
    return installationsErrorWithCode(
        kErrorCodeUnknown, "A required response field with name " + fieldName + " is missing",
        nullptr);
}

ErrorRef BCNInstallationsErrorUtil::networkErrorWithError(const ErrorRef& error) {
    return installationsErrorWithCode(kErrorCodeServerUnreachable, "Network connection error.",
                                      error);
}

ErrorRef BCNInstallationsErrorUtil::backoffIntervalWaitError() {
    return installationsErrorWithCode(kErrorCodeServerUnreachable, "Too many server requests.",
                                      nullptr);
}

ErrorRef BCNInstallationsErrorUtil::APIErrorWithHTTPResponse(const HTTPURLResponse& response,
                                                             const std::string& data) {
    return std::make_shared<const BCNInstallationsHTTPError>(response, data);
}

ErrorRef BCNInstallationsErrorUtil::publicDomainErrorWithError(const ErrorRef& error) {
    if (error && error->domain() == kErrorDomain) return error;
    return installationsErrorWithCode(kErrorCodeUnknown, std::nullopt, error);
}

bool BCNInstallationsErrorUtil::isAPIError(const ErrorRef& error, long HTTPCode) {
    const auto* HTTPError = dynamic_cast<const BCNInstallationsHTTPError*>(error.get());
    return HTTPError && HTTPError->HTTPResponse().statusCode == HTTPCode;
}

PRMPromiseRef BCNInstallationsErrorUtil::rejectedPromiseWithError(const ErrorRef& error) {
    auto promise = PRMPromise::pendingPromise();
    promise->reject(error);
    return promise;
}

}  // namespace pex
