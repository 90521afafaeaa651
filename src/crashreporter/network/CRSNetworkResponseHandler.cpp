#include "crashreporter/network/CRSNetworkResponseHandler.h"

#include <strings.h>
#include <cmath>
#include <cstdlib>

namespace pex {

namespace {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

void CRSNetworkResponseHandler::handleCompletedResponse(
    const std::optional<HTTPURLResponse>& response, const URLRequest& originalRequest,
    const std::optional<URLError>& transportError, const Completion& block) {
    if (transportError) {
        const ErrorRef error = errorForURLError(*transportError);
        block(retryableURLError(error), error);
        return;
    }
    clientResponseType(response, [&](CRSNetworkClientResponseType type, long status) {
        if (type == CRSNetworkClientResponseType::Success) {
            if (contentTypeForResponse(response, originalRequest)) {
                block(false, nullptr);
                return;
            }
            type = CRSNetworkClientResponseType::Unrecoverable;
        }
        switch (type) {
            case CRSNetworkClientResponseType::Retryable:
            case CRSNetworkClientResponseType::TooManyRequests:
                block(true, errorForResponse(response, type, status));
                break;
            default:
                block(false, errorForResponse(response, type, status));
                break;
        }
    });
}

void CRSNetworkResponseHandler::clientResponseType(
    const std::optional<HTTPURLResponse>& response,
    const std::function<void(CRSNetworkClientResponseType, long)>& handler) {
    const long status = response ? response->statusCode : 0;
    handler(typeForStatus(status), status);
}

CRSNetworkClientResponseType CRSNetworkResponseHandler::typeForStatus(long status) {
    switch (status) {
        case 200:
        case 201:
        case 202:
        case 204:
        case 304:
            return CRSNetworkClientResponseType::Success;
        case 400:
        case 401:
        case 403:
        case 404:
        case 406:
        case 410:
        case 411:
        case 413:
        case 419:
        case 422:
        case 431:
            return CRSNetworkClientResponseType::Invalid;
        case 408:
            return CRSNetworkClientResponseType::Retryable;
        case 420:
        case 429:
            return CRSNetworkClientResponseType::TooManyRequests;
        default:
            break;
    }
    if (status >= 500 && status <= 599) return CRSNetworkClientResponseType::Retryable;
    return CRSNetworkClientResponseType::Unrecoverable;
}

ErrorRef CRSNetworkResponseHandler::errorForResponse(const std::optional<HTTPURLResponse>& response,
                                                     CRSNetworkClientResponseType type,
                                                     long status) {
    std::int64_t code = CRSNetworkErrorCodeUnrecoverable;
    switch (type) {
        case CRSNetworkClientResponseType::Invalid:
            code = CRSNetworkErrorCodeInvalidRequest;
            break;
        case CRSNetworkClientResponseType::Retryable:
        case CRSNetworkClientResponseType::TooManyRequests:
            code = CRSNetworkErrorCodeRetryableStatus;
            break;
        default:
            break;
    }
    nlohmann::json userInfo = {
        {"type", static_cast<int>(type)},
        {"status_code", status},
        {"request_id", requestIdForResponse(response).value_or("")},
        {"content_type", headerForResponse(response, "Content-Type").value_or("")},
    };
    return errorForCode(code, std::move(userInfo));
}

ErrorRef CRSNetworkResponseHandler::errorForCode(std::int64_t code, nlohmann::json userInfo) {
    return Error::make(kCRSNetworkErrorDomain, code, std::move(userInfo));
}

std::int64_t CRSNetworkResponseHandler::codeForURLError(URLError::Code code) {
    switch (code) {
        case URLError::Code::Cancelled:
            return -999;
        case URLError::Code::TimedOut:
            return -1001;
        case URLError::Code::CannotFindHost:
            return -1003;
        case URLError::Code::CannotConnectToHost:
            return -1004;
        case URLError::Code::NetworkConnectionLost:
            return -1005;
        case URLError::Code::NotConnectedToInternet:
            return -1009;
        case URLError::Code::SecureConnectionFailed:
            return -1200;
        case URLError::Code::BadURL:
            return -1000;
        case URLError::Code::CannotReadFile:
            return -1100;
        case URLError::Code::ResponseTooLarge:
            return -1103;
        case URLError::Code::Other:
            break;
    }
    return -1;
}

ErrorRef CRSNetworkResponseHandler::errorForURLError(const URLError& error) {
    nlohmann::json userInfo = {{Error::kDescriptionKey, error.localizedDescription},
                               {kCRSURLErrorFailingURLKey, error.failingURL}};
    if (!error.detail.empty()) userInfo[Error::kFailureReasonKey] = error.detail;
    return Error::make(kCRSURLErrorDomain, codeForURLError(error.code), std::move(userInfo));
}

bool CRSNetworkResponseHandler::retryableURLError(const ErrorRef& error) {
    if (!error || error->domain() != kCRSURLErrorDomain) return false;
    const std::int64_t code = error->code();
    // A transfer cancelled on purpose (the session was invalidated) must not start again.
    if (code == -999) return false;
    switch (code) {
        case -1022:  // insecure connection refused by transport security
        case -1013:  // authentication required
        case -1012:  // authentication cancelled
        case -1010:  // redirect to nowhere
        case -1007:  // too many redirects
        case -1002:  // unsupported URL
        case -1000:  // bad URL
        case -995:   // background session needs a shared container
        case -1103:  // file too large
        case -1101:  // is a directory
        case -1100:  // does not exist
            return false;
        default:
            break;
    }
    // Secure connection and certificate failures.
    return !(code >= -1206 && code <= -1200);
}

bool CRSNetworkResponseHandler::contentTypeForResponse(
    const std::optional<HTTPURLResponse>& response, const URLRequest& request) {
    const auto accept = request.value("Accept");
    if (!accept) return true;
    const auto contentType = headerForResponse(response, "Content-Type");
    if (!contentType) return false;
    static const std::string kCharsetSeparator = "; charset=";
    const auto split = contentType->find(kCharsetSeparator);
    const std::string mediaType = contentType->substr(0, split);
    if (!equalsIgnoringCase(mediaType, *accept)) return false;
    const auto acceptCharset = request.value("Accept-Charset");
    if (acceptCharset && split != std::string::npos) {
        return equalsIgnoringCase(contentType->substr(split + kCharsetSeparator.size()),
                                  *acceptCharset);
    }
    return true;
}

std::optional<std::string> CRSNetworkResponseHandler::headerForResponse(
    const std::optional<HTTPURLResponse>& response, const std::string& key) {
    if (!response || response->headers.empty()) return std::nullopt;
    return response->value(key);
}

double CRSNetworkResponseHandler::retryValueForResponse(
    const std::optional<HTTPURLResponse>& response) {
    const auto header = headerForResponse(response, "Retry-After");
    if (!header) return 2.0;
    // Read like a number prefix ("30", " 12.5s"); anything else (an HTTP date) counts as 0.
    const char* text = header->c_str();
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || !std::isfinite(value)) return 0.0;
    return value < 0 ? 2.0 : value;
}

std::optional<std::string> CRSNetworkResponseHandler::requestIdForResponse(
    const std::optional<HTTPURLResponse>& response) {
    return headerForResponse(response, "X-Request-Id");
}

std::int64_t CRSNetworkResponseHandler::cancelReasonFromURLError(const ErrorRef& error) {
    if (!error || error->domain() != kCRSURLErrorDomain || error->code() != -999) return -1;
    const auto& info = error->userInfo();
    if (info.is_object()) {
        const auto found = info.find("backgroundTaskCancelledReason");
        if (found != info.end() && found->is_number_integer()) return found->get<std::int64_t>();
    }
    return -1;
}

}  // namespace pex
