// How finished requests are judged: status classes, Content-Type matching, Retry-After,
// transport errors (from curl's codes on) and the retry delay.
#include "crashreporter/network/CRSNetworkResponseHandler.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "crashreporter/network/CRSHTTPClient.h"
#include "platform/foundation/CurlErrors.h"

namespace pex {
namespace {

HTTPURLResponse response(long status, HTTPHeaders headers = {}) {
    HTTPURLResponse reply;
    reply.statusCode = status;
    reply.headers = std::move(headers);
    return reply;
}

URLRequest jsonRequest() {
    URLRequest request("http://127.0.0.1/settings");
    request.headers = {{"Accept-Charset", "utf-8"}, {"Accept", "application/json"}};
    return request;
}

struct Judgement {
    bool retry = false;
    ErrorRef error;
};

Judgement judge(const std::optional<HTTPURLResponse>& reply, const URLRequest& request,
                const std::optional<URLError>& transport = std::nullopt) {
    Judgement judgement;
    int calls = 0;
    CRSNetworkResponseHandler::handleCompletedResponse(reply, request, transport,
                                                       [&](bool retry, const ErrorRef& error) {
                                                           ++calls;
                                                           judgement = {retry, error};
                                                       });
    EXPECT_EQ(calls, 1);
    return judgement;
}

TEST(CRSNetworkResponseHandlerTest, StatusesFallIntoTheirClassesWithTheirErrors) {
    struct Case {
        long status;
        CRSNetworkClientResponseType type;
        bool retry;
        std::optional<std::int64_t> code;  // none: success
    };
    using T = CRSNetworkClientResponseType;
    const Case cases[] = {
        {200, T::Success, false, std::nullopt}, {201, T::Success, false, std::nullopt},
        {202, T::Success, false, std::nullopt}, {204, T::Success, false, std::nullopt},
        {304, T::Success, false, std::nullopt}, {203, T::Unrecoverable, false, -4},
        {205, T::Unrecoverable, false, -4},     {302, T::Unrecoverable, false, -4},
        {100, T::Unrecoverable, false, -4},     {418, T::Unrecoverable, false, -4},
        {600, T::Unrecoverable, false, -4},     {0, T::Unrecoverable, false, -4},
        {400, T::Invalid, false, -5},           {401, T::Invalid, false, -5},
        {403, T::Invalid, false, -5},           {404, T::Invalid, false, -5},
        {406, T::Invalid, false, -5},           {410, T::Invalid, false, -5},
        {411, T::Invalid, false, -5},           {413, T::Invalid, false, -5},
        {419, T::Invalid, false, -5},           {422, T::Invalid, false, -5},
        {431, T::Invalid, false, -5},           {408, T::Retryable, true, -1},
        {500, T::Retryable, true, -1},          {503, T::Retryable, true, -1},
        {599, T::Retryable, true, -1},          {420, T::TooManyRequests, true, -1},
        {429, T::TooManyRequests, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(CRSNetworkResponseHandler::typeForStatus(c.status), c.type);
        const auto reply =
            response(c.status, {{"Content-Type", "application/json"}, {"X-Request-Id", "req-7"}});
        const Judgement judgement = judge(reply, jsonRequest());
        EXPECT_EQ(judgement.retry, c.retry);
        if (!c.code) {
            EXPECT_EQ(judgement.error, nullptr);
            continue;
        }
        ASSERT_NE(judgement.error, nullptr);
        EXPECT_EQ(judgement.error->domain(), "CRSNetworkError");
        EXPECT_EQ(judgement.error->code(), *c.code);
        const auto& info = judgement.error->userInfo();
        EXPECT_EQ(info["type"], static_cast<int>(c.type));
        EXPECT_EQ(info["status_code"], c.status);
        EXPECT_EQ(info["request_id"], "req-7");
        EXPECT_EQ(info["content_type"], "application/json");
    }
}

TEST(CRSNetworkResponseHandlerTest, AMissingResponseIsUnrecoverableWithEmptyHeaderTexts) {
    const Judgement judgement = judge(std::nullopt, jsonRequest());
    ASSERT_NE(judgement.error, nullptr);
    EXPECT_FALSE(judgement.retry);
    EXPECT_EQ(judgement.error->code(), -4);
    EXPECT_EQ(judgement.error->userInfo()["status_code"], 0);
    EXPECT_EQ(judgement.error->userInfo()["request_id"], "");
    EXPECT_EQ(judgement.error->userInfo()["content_type"], "");
}

TEST(CRSNetworkResponseHandlerTest, ContentTypeMustBeWhatTheRequestAccepts) {
    struct Case {
        std::optional<std::string> contentType;
        bool matches;
    };
    const Case cases[] = {
        {"application/json", true},
        {"application/json; charset=UTF-8", true},
        {"APPLICATION/JSON; charset=utf-8", true},
        {"application/json;charset=utf-8", false},  // no space: not the charset form
        {"application/json; charset=latin1", false},
        {"text/html", false},
        {"text/html; charset=utf-8", false},
        {std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType.value_or("(none)"));
        HTTPHeaders headers;
        if (c.contentType) headers.push_back({"Content-Type", *c.contentType});
        EXPECT_EQ(CRSNetworkResponseHandler::contentTypeForResponse(response(200, headers),
                                                                    jsonRequest()),
                  c.matches);
        // A success whose type does not match is unrecoverable, not retried.
        const Judgement judgement = judge(response(200, headers), jsonRequest());
        EXPECT_FALSE(judgement.retry);
        EXPECT_EQ(judgement.error ? judgement.error->code() : 0, c.matches ? 0 : -4);
    }
    // A request without "Accept" takes any reply.
    EXPECT_TRUE(
        CRSNetworkResponseHandler::contentTypeForResponse(response(200), URLRequest("http://a/")));
}

TEST(CRSNetworkResponseHandlerTest, RetryAfterReadsAsANumberOfSeconds) {
    const std::pair<std::optional<std::string>, double> cases[] = {
        {std::nullopt, 2.0}, {"30", 30.0},  {"1.5", 1.5},
        {"-4", 2.0},         {"soon", 0.0}, {"Wed, 21 Oct 2026 07:28:00 GMT", 0.0},
        {"nan", 0.0},
    };
    for (const auto& [header, seconds] : cases) {
        SCOPED_TRACE(header.value_or("(none)"));
        HTTPHeaders headers;
        if (header) headers.push_back({"Retry-After", *header});
        EXPECT_DOUBLE_EQ(CRSNetworkResponseHandler::retryValueForResponse(response(503, headers)),
                         seconds);
    }
}

// From curl's result code to the URL-loading error, its code and whether it is retried.
TEST(CRSNetworkResponseHandlerTest, CurlFailuresMapToURLErrorsAndTheirRetryDecision) {
    struct Case {
        CURLcode curl;
        URLError::Code code;
        std::int64_t number;
        bool retry;
    };
    const Case cases[] = {
        {CURLE_OPERATION_TIMEDOUT, URLError::Code::TimedOut, -1001, true},
        {CURLE_COULDNT_CONNECT, URLError::Code::CannotConnectToHost, -1004, true},
        {CURLE_GOT_NOTHING, URLError::Code::NetworkConnectionLost, -1005, true},
        {CURLE_RECV_ERROR, URLError::Code::NetworkConnectionLost, -1005, true},
        {CURLE_PARTIAL_FILE, URLError::Code::NetworkConnectionLost, -1005, true},
        {CURLE_SSL_CONNECT_ERROR, URLError::Code::SecureConnectionFailed, -1200, false},
        {CURLE_PEER_FAILED_VERIFICATION, URLError::Code::SecureConnectionFailed, -1200, false},
        {CURLE_URL_MALFORMAT, URLError::Code::BadURL, -1000, false},
        {CURLE_UNSUPPORTED_PROTOCOL, URLError::Code::BadURL, -1000, false},
        {CURLE_READ_ERROR, URLError::Code::CannotReadFile, -1100, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(curl_easy_strerror(c.curl));
        const URLError error = urlErrorForCurlCode(c.curl, 0, "http://127.0.0.1/x", "");
        EXPECT_EQ(error.code, c.code);
        const ErrorRef mapped = CRSNetworkResponseHandler::errorForURLError(error);
        EXPECT_EQ(mapped->domain(), kCRSURLErrorDomain);
        EXPECT_EQ(mapped->code(), c.number);
        EXPECT_EQ(mapped->userInfo()[kCRSURLErrorFailingURLKey], "http://127.0.0.1/x");
        EXPECT_EQ(judge(std::nullopt, jsonRequest(), error).retry, c.retry);
    }
    // A host that cannot be resolved is either unknown or offline; both may pass.
    const URLError unresolved =
        urlErrorForCurlCode(CURLE_COULDNT_RESOLVE_HOST, 0, "http://nowhere.invalid/", "");
    EXPECT_TRUE(CRSNetworkResponseHandler::retryableURLError(
        CRSNetworkResponseHandler::errorForURLError(unresolved)));
    // The remaining codes of the platform's list, and a cancelled transfer.
    for (std::int64_t code : {-1022, -1013, -1012, -1010, -1007, -1002, -1000, -995, -1206, -1203,
                              -1200, -1103, -1101, -1100, -999}) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(
            CRSNetworkResponseHandler::retryableURLError(Error::make(kCRSURLErrorDomain, code)));
    }
    for (std::int64_t code : {-1102, -1001, -1009, -1199, -1207}) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(
            CRSNetworkResponseHandler::retryableURLError(Error::make(kCRSURLErrorDomain, code)));
    }
    EXPECT_FALSE(CRSNetworkResponseHandler::retryableURLError(Error::make("Other", -1001)));
}

TEST(CRSNetworkResponseHandlerTest, RetryDelayIsTheLargerOfServerValueAndBackoffCapped) {
    struct Case {
        double retryAfter;
        std::uint64_t retryCount;
        double expected;  // at jitter 1
    };
    const Case cases[] = {
        {2.0, 0, 2.0},
        {2.0, 1, 2.0},
        {2.0, 2, 4.0},
        {2.0, 3, 8.0},
        {0.0, 0, 2.0},
        {30.0, 0, 30.0},
        // The server's value is taken as it is, never raised to a power.
        {30.0, 2, 30.0},
        {30.0, 6, 64.0},
        {3600.0, 0, 300.0},
        {2.0, 40, 300.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.retryAfter << " / " << c.retryCount);
        EXPECT_DOUBLE_EQ(CRSHTTPClient::delayForRetryValue(c.retryAfter, c.retryCount, 1.0),
                         c.expected);
    }
    EXPECT_DOUBLE_EQ(CRSHTTPClient::delayForRetryValue(30.0, 0, 0.9), 27.0);
    EXPECT_DOUBLE_EQ(CRSHTTPClient::delayForRetryValue(300.0, 0, 1.09), 300.0);
    for (int i = 0; i < 1000; ++i) {
        const double jitter = CRSHTTPClient::generateRandomJitter();
        ASSERT_GE(jitter, 0.8999999761581421);
        ASSERT_LT(jitter, 1.100000023841858);
    }
    // A 503 saying 30 s: the first retry waits 27 to 33 s.
    const auto busy = response(503, {{"Retry-After", "30"}});
    for (int i = 0; i < 50; ++i) {
        const double delay = CRSHTTPClient::computeDelayForResponse(busy, 0);
        ASSERT_GE(delay, 26.9);
        ASSERT_LT(delay, 33.1);
    }
}

}  // namespace
}  // namespace pex
