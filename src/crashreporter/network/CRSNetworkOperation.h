#pragma once
// Base of the crash SDK's network operations: the headers every request carries and the
// data-collection gate (no request without a valid token).
#include <chrono>
#include <string>

#include "crashreporter/CRSDataCollectionToken.h"
#include "crashreporter/network/CRSBaseAsyncOperation.h"
#include "platform/foundation/URLRequest.h"

namespace pex {

inline constexpr char kCRSDeveloperToken[] = "3c9e51a0b7d24f86e0a1c3b5d7f9e2a4c6b8d0f1";

class CRSNetworkOperation : public CRSBaseAsyncOperation {
  public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{10'000};

    // An empty `beaconAppID` is a programming error (std::invalid_argument).
    CRSNetworkOperation(const std::string& className, std::string beaconAppID,
                        CRSDataCollectionTokenRef token);

    // Starts only with a valid token; otherwise logs and leaves the operation unstarted.
    void startWithToken(const CRSDataCollectionTokenRef& token);

    // "com.beacon.crashreporter.mac"
    static std::string clientID();

    // A GET for `url` with the given time-out and the default headers, in this order:
    // User-Agent, Accept-Charset, Accept-Language, Content-Language, the developer token, the
    // client id, its version and the app id.
    URLRequest mutableRequestWithDefaultHTTPHeadersForURL(const std::string& url,
                                                          std::chrono::milliseconds timeout) const;
    virtual URLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
        const std::string& url) const;

    const std::string& beaconAppID() const { return beaconAppID_; }
    const CRSDataCollectionTokenRef& token() const { return token_; }

  private:
    const std::string beaconAppID_;
    const CRSDataCollectionTokenRef token_;
};

}  // namespace pex
