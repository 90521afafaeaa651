#include "crashreporter/network/CRSNetworkOperation.h"

#include <stdexcept>

#include "crashreporter/runtime/CRSHost.h"
#include "crashreporter/runtime/CRSLog.h"
#include "crashreporter/runtime/CRSPlatform.h"
#include "platform/mach/HostInfo.h"

namespace pex {

CRSNetworkOperation::CRSNetworkOperation(const std::string& className, std::string beaconAppID,
                                         CRSDataCollectionTokenRef token)
    : CRSBaseAsyncOperation(className),
      beaconAppID_(std::move(beaconAppID)),
      token_(std::move(token)) {
    if (beaconAppID_.empty()) {
        throw std::invalid_argument("Invalid parameter not satisfying: beaconAppID");
    }
}

void CRSNetworkOperation::startWithToken(const CRSDataCollectionTokenRef& token) {
    if (!token || !token->isValid()) {
        CRSErrorLog("Skipping network operation with invalid data collection token");
        return;
    }
    start();
}

std::string CRSNetworkOperation::clientID() {
    return std::string("com.beacon.crashreporter.") + kCRSPlatform;
}

URLRequest CRSNetworkOperation::mutableRequestWithDefaultHTTPHeadersForURL(
    const std::string& url, std::chrono::milliseconds timeout) const {
    URLRequest request(url);
    request.timeoutInterval = timeout;
    const std::string version = CRSSDKVersion();
    const std::string locale = HostInfo::localeIdentifier();
    request.headers = {
        {"User-Agent", clientID() + "/" + version},
        {"Accept-Charset", "utf-8"},
        {"Accept-Language", locale},
        {"Content-Language", locale},
        {"X-CrashReporter-Developer-Token", kCRSDeveloperToken},
        {"X-CrashReporter-API-Client-Id", clientID()},
        {"X-CrashReporter-API-Client-Display-Version", version},
        {"X-CrashReporter-Beacon-App-Id", beaconAppID_},
    };
    return request;
}

URLRequest CRSNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
    const std::string& url) const {
    return mutableRequestWithDefaultHTTPHeadersForURL(url, kDefaultTimeout);
}

}  // namespace pex
