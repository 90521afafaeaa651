#include "beacon-core/installations/BCNInstallationsHTTPError.h"

#include "beacon-core/installations/BCNInstallationsErrorUtil.h"

namespace pex {
namespace {

// The body as UTF-8 text; a body that is not UTF-8 reads as "(null)".
std::string bodyText(const std::string& data) {
    try {
        (void)nlohmann::json(data).dump();
        return data;
    } catch (const nlohmann::json::exception&) {
        return "(null)";
    }
}

nlohmann::json httpFailureReason(const HTTPURLResponse& response, const std::string& data) {
    return {{Error::kFailureReasonKey,
             "The server responded with an error: \n - URL: " + response.url +
                 " \n - HTTP status code: " + std::to_string(response.statusCode) +
                 " \n - Response body: " + bodyText(data)}};
}

}  // namespace

BCNInstallationsHTTPError::BCNInstallationsHTTPError(HTTPURLResponse response, std::string data)
    : Error(BCNInstallationsErrorUtil::kErrorDomain, errorCodeWithHTTPCode(response.statusCode),
            httpFailureReason(response, data)),
      response_(std::move(response)),
      data_(std::move(data)) {}

std::int64_t BCNInstallationsHTTPError::errorCodeWithHTTPCode(long) {
    return BCNInstallationsErrorUtil::kErrorCodeUnknown;
}

PropertyList::Dictionary BCNInstallationsHTTPError::encodeWithCoder() const {
    PropertyList::Dictionary headers;
    for (const auto& header : response_.headers) headers[header.name] = PropertyList(header.value);
    PropertyList::Dictionary response{
        {"URL", PropertyList(response_.url)},
        {"statusCode", PropertyList(static_cast<std::int64_t>(response_.statusCode))},
        {"headers", PropertyList(headers)}};
    return {{"HTTPResponse", PropertyList(response)},
            {"data", PropertyList(PropertyList::Data(data_.begin(), data_.end()))}};
}

std::optional<BCNInstallationsHTTPError> BCNInstallationsHTTPError::decodeWithCoder(
    const PropertyList::Dictionary& values) {
    auto found = values.find("HTTPResponse");
    if (found == values.end() || !found->second.is<PropertyList::Dictionary>()) return std::nullopt;
    const PropertyList& archived = found->second;
    HTTPURLResponse response;
    if (const auto* url = archived.find("URL"); url && url->is<std::string>())
        response.url = *url->get<std::string>();
    if (const auto* status = archived.find("statusCode"); status && status->is<std::int64_t>())
        response.statusCode = static_cast<long>(*status->get<std::int64_t>());
    if (const auto* headers = archived.find("headers");
        headers && headers->is<PropertyList::Dictionary>())
        for (const auto& [name, value] : *headers->get<PropertyList::Dictionary>())
            if (value.is<std::string>())
                response.headers.push_back({name, *value.get<std::string>()});
    std::string data;
    if (auto body = values.find("data");
        body != values.end() && body->second.is<PropertyList::Data>()) {
        const auto& bytes = *body->second.get<PropertyList::Data>();
        data.assign(bytes.begin(), bytes.end());
    }
    return BCNInstallationsHTTPError(std::move(response), std::move(data));
}

}  // namespace pex
