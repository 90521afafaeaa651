#pragma once
// The one HTTP layer of the application. A session runs all its transfers on one worker
// thread of its own (libcurl's multi interface) and hands every result to the dispatch queue
// the caller names with the task, never on the caller's stack.
//
//   auto task = URLSession::shared().dataTask(request, DispatchQueue::main(),
//                                             [](URLDataResult result) { ... });
//   task->resume();
//
// - Only http and https are spoken; TLS peers and host names are always verified.
// - Redirects are followed only within the origin (scheme, host and port) they come from; a
//   redirect to another origin fails the transfer, so nothing (headers, body) is sent there.
// - A download task writes the reply body to a temporary file (limited only by the request's
//   `maximumResponseSize`) and hands over its location.
// - A data task collects the whole reply; a stream task hands the reply over chunk by chunk as
//   it arrives (in order when the queue is serial or the main queue); an upload task sends a
//   multipart form, built in memory up to `multipartMemoryThreshold` bytes and otherwise
//   written to a temporary file and streamed from it.
// - Every task ends exactly once: its completion runs with the reply or a URLError, also after
//   cancel() (with Cancelled) unless it had already ended.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MultipartFormData.h"
#include "platform/foundation/URLError.h"
#include "platform/foundation/URLRequest.h"

namespace pex {

struct URLDataResult {
    std::optional<HTTPURLResponse> response;  // absent when no reply head arrived
    std::string data;                         // the body (empty for HEAD and on failure)
    std::optional<URLError> error;            // absent on success, whatever the HTTP status
};

struct URLDownloadResult {
    std::optional<HTTPURLResponse> response;  // absent when no reply head arrived
    // The body in a temporary file only this user can read; absent on failure. The file is
    // removed once the completion returns, so a caller that keeps it moves it away first.
    std::optional<std::filesystem::path> location;
    std::optional<URLError> error;  // absent on success, whatever the HTTP status
};

struct URLStreamHandlers {
    // Once, when the reply head has arrived and before the first chunk.
    std::function<void(const HTTPURLResponse&)> onResponse;
    // Each piece of the body as it arrives.
    std::function<void(std::string chunk)> onData;
    // Once, last: absent on success.
    std::function<void(std::optional<URLError> error)> onComplete;
};

struct URLSessionConfiguration {
    // Multipart bodies up to this many bytes are built in memory; larger ones are streamed
    // from a temporary file.
    std::uint64_t multipartMemoryThreshold = 10'000'000;
    // A data task whose body grows past this fails with ResponseTooLarge.
    std::uint64_t maximumDataSize = 256ull * 1024 * 1024;
};

class URLSessionTask {
  public:
    enum class State { Suspended, Running, Completed };

    std::uint64_t taskIdentifier() const;
    const URLRequest& originalRequest() const;
    State state() const;

    // Starts the transfer; a second call does nothing.
    void resume();
    // Stops the transfer; the completion follows with Cancelled unless the task already ended.
    void cancel();

    struct Core;
    explicit URLSessionTask(std::shared_ptr<Core> core) : core_(std::move(core)) {}

  private:
    std::shared_ptr<Core> core_;
};

class URLSession {
  public:
    using DataCompletion = std::function<void(URLDataResult)>;
    using DownloadCompletion = std::function<void(URLDownloadResult)>;

    // The process-wide session with the default configuration.
    static URLSession& shared();

    explicit URLSession(URLSessionConfiguration configuration = {});
    // Stops the worker. Unfinished tasks end without calling their handlers, because their
    // owners are usually going away with the session.
    ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    std::shared_ptr<URLSessionTask> dataTask(URLRequest request, DispatchQueue queue,
                                             DataCompletion completion);
    std::shared_ptr<URLSessionTask> downloadTask(URLRequest request, DispatchQueue queue,
                                                 DownloadCompletion completion);
    std::shared_ptr<URLSessionTask> streamTask(URLRequest request, DispatchQueue queue,
                                               URLStreamHandlers handlers);
    // Sends `form` as the body with its multipart Content-Type; the request's method is kept.
    std::shared_ptr<URLSessionTask> uploadTask(URLRequest request, MultipartFormData form,
                                               DispatchQueue queue, DataCompletion completion);

    // Cancels every task (their completions run with Cancelled); tasks made afterwards end
    // with Cancelled as soon as they are resumed.
    void invalidateAndCancel();
    // For the end of the process: cancels the tasks of every session, as invalidateAndCancel
    // does, and ends every session's worker thread. A session made afterwards starts no
    // thread and cancels every task it is given.
    static void endEverySession();

    const URLSessionConfiguration& configuration() const { return configuration_; }

    class Engine;

  private:
    std::shared_ptr<URLSessionTask::Core> makeCore(URLRequest request, DispatchQueue queue);

    URLSessionConfiguration configuration_;
    std::shared_ptr<Engine> engine_;
};

}  // namespace pex
