#pragma once
// What the URL session sends and what it hands back: a request (address, method, headers in
// the order given, body, idle time-out) and the HTTP response head of a reply.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pex {

struct HTTPHeader {
    std::string name;
    std::string value;
};
using HTTPHeaders = std::vector<HTTPHeader>;

// Case-insensitive lookup of the first header with that name.
std::optional<std::string> headerValue(const HTTPHeaders& headers, const std::string& name);

struct URLRequest {
    std::string url;
    std::string httpMethod = "GET";
    // Sent in this order; names are not changed.
    HTTPHeaders headers;
    // Sent with every method but GET and HEAD (an empty body goes out as Content-Length 0).
    std::string httpBody;
    // How long the transfer may go without any byte moving (connecting included) before it
    // fails with TimedOut. It is an idle limit, not a limit on the whole transfer, so a large
    // upload that keeps moving is never cut off.
    std::chrono::milliseconds timeoutInterval{60'000};
    // A data task whose reply body grows past this fails with ResponseTooLarge; absent: the
    // session's own limit. Callers that expect small replies set a small one, so a hostile
    // or broken server cannot fill the memory.
    std::optional<std::uint64_t> maximumResponseSize;
    // False: a redirect reply is handed back as it is (status and "Location"), for callers that
    // decide themselves where their request may go.
    bool followRedirects = true;

    URLRequest() = default;
    explicit URLRequest(std::string address, std::string method = "GET")
        : url(std::move(address)), httpMethod(std::move(method)) {}

    // Replaces every header with that name (case-insensitive), or appends it.
    void setValue(const std::string& value, const std::string& name);
    std::optional<std::string> value(const std::string& name) const {
        return headerValue(headers, name);
    }
};

struct HTTPURLResponse {
    std::string url;  // the final address, after redirects
    long statusCode = 0;
    std::string statusLine;  // as the server sent it, e.g. "HTTP/1.1 502 Bad Gateway"
    HTTPHeaders headers;

    std::optional<std::string> value(const std::string& name) const {
        return headerValue(headers, name);
    }
    bool isSuccess() const { return statusCode >= 200 && statusCode < 300; }
};

}  // namespace pex
