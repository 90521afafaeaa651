#pragma once
// A failure reply of the installations service: keeps the reply head and body so callers can
// decide by status code. Domain "com.beacon.installations", code 0 for every status.
// Archivable (keys "HTTPResponse" and "data"); copies are new errors of the same reply.
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/URLRequest.h"

namespace pex {

class BCNInstallationsHTTPError : public Error {
  public:
    static constexpr const char* kArchiveClassName = "BCNInstallationsHTTPError";

    BCNInstallationsHTTPError(HTTPURLResponse response, std::string data);

    static std::int64_t errorCodeWithHTTPCode(long statusCode);

    const HTTPURLResponse& HTTPResponse() const { return response_; }
    const std::string& data() const { return data_; }

    PropertyList::Dictionary encodeWithCoder() const;
    // None when the archive has no "HTTPResponse".
    static std::optional<BCNInstallationsHTTPError> decodeWithCoder(
        const PropertyList::Dictionary& values);

  private:
    HTTPURLResponse response_;
    std::string data_;
};

}  // namespace pex
