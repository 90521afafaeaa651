#include "crashreporter/network/CRSHTTPClient.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "crashreporter/network/CRSNetworkResponseHandler.h"

namespace pex {

namespace {

constexpr char kDelegateQueueLabel[] = "com.crashreporter.CRSHTTPClient.delegate-queue";

// The jitter's bounds are single-precision values, as the service's other clients use them.
constexpr double kJitterMin = static_cast<double>(0.9f);
constexpr double kJitterMax = static_cast<double>(1.1f);

ErrorRef retryLimitError(std::uint64_t retryLimit, const std::string& url) {
    return CRSNetworkResponseHandler::errorForCode(
        CRSNetworkErrorCodeRetryLimit,
        {{"retryLimit", retryLimit}, {kCRSURLErrorFailingURLKey, url}});
}

}  // namespace

std::shared_ptr<CRSHTTPClient> CRSHTTPClient::create(std::optional<DispatchQueue> queue,
                                                     URLSessionConfiguration configuration) {
    return std::shared_ptr<CRSHTTPClient>(new CRSHTTPClient(
        queue.value_or(DispatchQueue::serial(kDelegateQueueLabel)), configuration));
}

CRSHTTPClient::CRSHTTPClient(DispatchQueue queue, URLSessionConfiguration configuration)
    : delegateQueue_(std::move(queue)), session_(std::make_unique<URLSession>(configuration)) {}

CRSHTTPClient::~CRSHTTPClient() {
    // Running tasks hold the client, so none is left when it goes; closing the session ends
    // its worker.
    session_.reset();
}

void CRSHTTPClient::startDataTaskWithRequest(URLRequest request, std::uint64_t retryLimit,
                                             std::uint64_t tries, DataCompletion completion) {
    TaskStarter starter = [weak = weak_from_this()](const URLRequest& request,
                                                    OutcomeHandler handler) {
        auto self = weak.lock();
        if (!self) return std::shared_ptr<URLSessionTask>();
        return self->session_->dataTask(request, self->delegateQueue_,
                                        [handler = std::move(handler)](URLDataResult result) {
                                            Outcome outcome;
                                            if (!result.error)
                                                outcome.data = std::move(result.data);
                                            outcome.response = std::move(result.response);
                                            outcome.error = std::move(result.error);
                                            handler(std::move(outcome));
                                        });
    };
    run(std::move(request), retryLimit, tries, std::move(starter),
        [completion = std::move(completion)](Outcome outcome, ErrorRef error) {
            completion(std::move(outcome.data), std::move(outcome.response), std::move(error));
        });
}

void CRSHTTPClient::startDataTaskWithRequest(URLRequest request, std::uint64_t retryLimit,
                                             DataCompletion completion) {
    startDataTaskWithRequest(std::move(request), retryLimit, 0, std::move(completion));
}

void CRSHTTPClient::startDataTaskWithRequest(URLRequest request, DataCompletion completion) {
    startDataTaskWithRequest(std::move(request), kDefaultRetryLimit, 0, std::move(completion));
}

void CRSHTTPClient::startDownloadTaskWithRequest(URLRequest request, std::uint64_t retryLimit,
                                                 std::uint64_t tries,
                                                 DownloadCompletion completion) {
    TaskStarter starter = [weak = weak_from_this()](const URLRequest& request,
                                                    OutcomeHandler handler) {
        auto self = weak.lock();
        if (!self) return std::shared_ptr<URLSessionTask>();
        return self->session_->downloadTask(
            request, self->delegateQueue_,
            [handler = std::move(handler)](URLDownloadResult result) {
                Outcome outcome;
                outcome.location = std::move(result.location);
                outcome.response = std::move(result.response);
                outcome.error = std::move(result.error);
                handler(std::move(outcome));
            });
    };
    run(std::move(request), retryLimit, tries, std::move(starter),
        [completion = std::move(completion)](Outcome outcome, ErrorRef error) {
            completion(std::move(outcome.location), std::move(outcome.response), std::move(error));
        });
}

void CRSHTTPClient::startDownloadTaskWithRequest(URLRequest request, std::uint64_t retryLimit,
                                                 DownloadCompletion completion) {
    startDownloadTaskWithRequest(std::move(request), retryLimit, 0, std::move(completion));
}

void CRSHTTPClient::startDownloadTaskWithRequest(URLRequest request,
                                                 DownloadCompletion completion) {
    startDownloadTaskWithRequest(std::move(request), kDefaultRetryLimit, 0, std::move(completion));
}

void CRSHTTPClient::run(URLRequest request, std::uint64_t retryLimit, std::uint64_t tries,
                        TaskStarter starter, Finish finish) {
    // The crash SDK decides itself where its requests go.
    request.followRedirects = false;
    auto task = starter(request, [self = shared_from_this(), request, retryLimit, tries, starter,
                                  finish](Outcome outcome) {
        CRSNetworkResponseHandler::handleCompletedResponse(
            outcome.response, request, outcome.error, [&](bool retry, const ErrorRef& error) {
                if (retry && tries < retryLimit) {
                    runAfterRetryValueFromResponse(
                        outcome.response, tries,
                        [self, request, retryLimit, tries, starter, finish] {
                            self->run(request, retryLimit, tries + 1, starter, finish);
                        });
                } else if (retry) {
                    finish({}, retryLimitError(retryLimit, request.url));
                } else {
                    finish(std::move(outcome), error);
                }
            });
    });
    if (!task) {
        finish({}, CRSNetworkResponseHandler::errorForCode(CRSNetworkErrorCodeTaskCreation));
        return;
    }
    task->resume();
}

void CRSHTTPClient::invalidateAndCancel() {
    session_->invalidateAndCancel();
}

double CRSHTTPClient::computeDelayForResponse(const std::optional<HTTPURLResponse>& response,
                                              std::uint64_t retryCount) {
    return delayForRetryValue(CRSNetworkResponseHandler::retryValueForResponse(response),
                              retryCount, generateRandomJitter());
}

double CRSHTTPClient::delayForRetryValue(double retryAfter, std::uint64_t retryCount,
                                         double jitter) {
    const auto exponent = static_cast<double>(std::max<std::uint64_t>(retryCount, 1) - 1);
    const double backoff = 2.0 * std::pow(2.0, exponent);
    const double delay = std::max(retryAfter, backoff) * jitter;
    return std::min(delay, kMaximumRetryDelaySeconds);
}

void CRSHTTPClient::runAfterRetryValueFromResponse(const std::optional<HTTPURLResponse>& response,
                                                   std::uint64_t attempts,
                                                   const DispatchQueue& queue,
                                                   std::function<void()> block) {
    const double seconds = computeDelayForResponse(response, attempts);
    const auto delay = std::chrono::nanoseconds(static_cast<std::int64_t>(seconds * 1e9));
    queue.asyncAfter(delay, std::move(block));
}

void CRSHTTPClient::runAfterRetryValueFromResponse(const std::optional<HTTPURLResponse>& response,
                                                   std::uint64_t attempts,
                                                   std::function<void()> block) {
    runAfterRetryValueFromResponse(response, attempts, DispatchQueue::global(), std::move(block));
}

double CRSHTTPClient::generateRandomJitter() {
    return randomDoubleWithMin(kJitterMin, kJitterMax);
}

double CRSHTTPClient::randomDoubleWithMin(double min, double max) {
    // The C library's 48-bit generator keeps one shared state.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    return ::drand48() * (max - min) + min;
}

}  // namespace pex
