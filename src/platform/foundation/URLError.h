#pragma once
// Why a transfer failed, as URL-loading error codes that callers map to their own texts.
#include <string>

namespace pex {

struct URLError {
    enum class Code {
        Cancelled,
        TimedOut,
        CannotConnectToHost,     // the host answered but refused, or could not be reached
        NotConnectedToInternet,  // this machine has no network
        CannotFindHost,
        NetworkConnectionLost,   // the connection broke before the reply was complete
        SecureConnectionFailed,  // TLS handshake or certificate verification failed
        BadURL,
        CannotReadFile,  // a body file could not be read
        ResponseTooLarge,
        Other,
    };

    Code code = Code::Other;
    std::string localizedDescription;  // user-facing wording (Chinese)
    std::string failingURL;
    std::string detail;  // the transfer library's own message, for logs

    URLError() = default;
    URLError(Code c, std::string url, std::string detailText = {});

    // One line for console logs: code name, description, detail and address.
    std::string debugDescription() const;

    static std::string defaultDescription(Code code);
    static const char* codeName(Code code);
};

}  // namespace pex
