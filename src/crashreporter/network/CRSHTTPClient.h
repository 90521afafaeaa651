#pragma once
// The crash SDK's own HTTP client: data and download tasks on a session of its own, each
// retried after a growing delay while the server asks for it (statuses 408, 420, 429, 5xx) or
// the network failed in a way that may pass.
//
// Completions run on the client's delegate queue (a serial queue of its own unless one is
// given); a retried request starts again from the global queue after its delay, which runs on
// the process's Clock. Redirects are never followed: a 3xx reply other than 304 is a failure.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URLSession.h"

namespace pex {

class CRSHTTPClient : public std::enable_shared_from_this<CRSHTTPClient> {
  public:
    using DataCompletion = std::function<void(std::optional<std::string> data,
                                              std::optional<HTTPURLResponse>, ErrorRef error)>;
    using DownloadCompletion = std::function<void(std::optional<std::filesystem::path> location,
                                                  std::optional<HTTPURLResponse>, ErrorRef error)>;

    static constexpr std::uint64_t kDefaultRetryLimit = 10;
    // No retry waits longer than this, whatever the server or the back-off says.
    static constexpr double kMaximumRetryDelaySeconds = 300.0;

    // `queue`: where completions run; none lets the client make a serial queue.
    static std::shared_ptr<CRSHTTPClient> create(std::optional<DispatchQueue> queue = std::nullopt,
                                                 URLSessionConfiguration configuration = {});
    // Lets running transfers end (their completions do not run), then closes the session.
    ~CRSHTTPClient();
    CRSHTTPClient(const CRSHTTPClient&) = delete;
    CRSHTTPClient& operator=(const CRSHTTPClient&) = delete;

    // `tries`: requests made so far. With a limit of 1 a request is retried once (two in all).
    // The completion gets the body, the response and an error (none on success); the retry
    // limit ends with error -6, a session that makes no task with error -3.
    void startDataTaskWithRequest(URLRequest request, std::uint64_t retryLimit, std::uint64_t tries,
                                  DataCompletion completion);
    void startDataTaskWithRequest(URLRequest request, std::uint64_t retryLimit,
                                  DataCompletion completion);
    void startDataTaskWithRequest(URLRequest request, DataCompletion completion);
    // Like data tasks, but the body goes to a temporary file, removed once the completion
    // returns; a caller that keeps it moves it away there.
    void startDownloadTaskWithRequest(URLRequest request, std::uint64_t retryLimit,
                                      std::uint64_t tries, DownloadCompletion completion);
    void startDownloadTaskWithRequest(URLRequest request, std::uint64_t retryLimit,
                                      DownloadCompletion completion);
    void startDownloadTaskWithRequest(URLRequest request, DownloadCompletion completion);

    // Cancels the running tasks; no task starts afterwards (retries end as cancelled).
    void invalidateAndCancel();

    const DispatchQueue& delegateQueue() const { return delegateQueue_; }

    // Seconds to wait before retry number `retryCount` (0 for the first): the larger of the
    // server's "Retry-After" and 2·2^(retryCount−1) (2, 2, 4, 8 ...), times a jitter in
    // [0.9, 1.1), capped at kMaximumRetryDelaySeconds. The server's value is never raised to
    // a power.
    static double computeDelayForResponse(const std::optional<HTTPURLResponse>& response,
                                          std::uint64_t retryCount);
    // The same delay from a fixed jitter, for callers (and tests) that supply their own.
    static double delayForRetryValue(double retryAfter, std::uint64_t retryCount, double jitter);
    // Runs `block` on `queue` after that delay, on the process's Clock.
    static void runAfterRetryValueFromResponse(const std::optional<HTTPURLResponse>& response,
                                               std::uint64_t attempts, const DispatchQueue& queue,
                                               std::function<void()> block);
    static void runAfterRetryValueFromResponse(const std::optional<HTTPURLResponse>& response,
                                               std::uint64_t attempts, std::function<void()> block);
    static double generateRandomJitter();
    static double randomDoubleWithMin(double min, double max);

  private:
    CRSHTTPClient(DispatchQueue queue, URLSessionConfiguration configuration);

    // What a data or a download task hands back, before the retry decision.
    struct Outcome {
        std::optional<std::string> data;
        std::optional<std::filesystem::path> location;
        std::optional<HTTPURLResponse> response;
        std::optional<URLError> error;
    };
    using OutcomeHandler = std::function<void(Outcome)>;
    using TaskStarter =
        std::function<std::shared_ptr<URLSessionTask>(const URLRequest&, OutcomeHandler)>;
    using Finish = std::function<void(Outcome, ErrorRef)>;

    void run(URLRequest request, std::uint64_t retryLimit, std::uint64_t tries, TaskStarter starter,
             Finish finish);

    DispatchQueue delegateQueue_;
    std::unique_ptr<URLSession> session_;
};

}  // namespace pex
