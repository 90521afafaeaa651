// How a failed curl transfer reads as a URL-loading error.
#include "platform/foundation/CurlErrors.h"

#include <curl/curl.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <cerrno>

namespace pex {

namespace {

// True when some interface other than loopback is up and has an address: the machine is on a
// network, so a failure lies with the host, not with the connection.
bool hasNetworkInterface() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return true;  // unknown: do not claim the machine is offline
    bool found = false;
    for (ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr) continue;
        const int family = entry->ifa_addr->sa_family;
        const unsigned flags = entry->ifa_flags;
        found = (family == AF_INET || family == AF_INET6) && (flags & IFF_UP) &&
                (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    ::freeifaddrs(list);
    return found;
}

}  // namespace

URLError urlErrorForCurlCode(int curlCode, long osErrno, const std::string& url,
                             const std::string& detail) {
    const auto code = static_cast<CURLcode>(curlCode);
    using Code = URLError::Code;
    Code mapped = Code::Other;
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            mapped = Code::TimedOut;
            break;
        case CURLE_COULDNT_CONNECT:
            mapped = (osErrno == ENETUNREACH || osErrno == ENETDOWN) && !hasNetworkInterface()
                         ? Code::NotConnectedToInternet
                         : Code::CannotConnectToHost;
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            mapped = hasNetworkInterface() ? Code::CannotFindHost : Code::NotConnectedToInternet;
            break;
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            mapped = Code::NetworkConnectionLost;
            break;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            mapped = Code::SecureConnectionFailed;
            break;
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            mapped = Code::BadURL;
            break;
        case CURLE_READ_ERROR:
            mapped = Code::CannotReadFile;
            break;
        default:
            break;
    }
    std::string text = detail.empty() ? curl_easy_strerror(code) : detail;
    URLError error(mapped, url, text);
    if (mapped == Code::Other) error.localizedDescription += "（" + text + "）";
    return error;
}

}  // namespace pex
