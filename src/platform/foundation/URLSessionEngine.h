#pragma once
// Inside the URL session: the shared state of one task and the worker that runs transfers.
// Not for use outside URLSession.cpp and URLSessionEngine.cpp.
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/foundation/URLSession.h"

namespace pex {

struct URLSessionTask::Core : std::enable_shared_from_this<URLSessionTask::Core> {
    enum class Kind { Data, Stream, Upload, Download };

    std::uint64_t identifier = 0;
    Kind kind = Kind::Data;
    URLRequest request;
    DispatchQueue queue;
    URLSession::DataCompletion completion;    // Data and Upload
    URLStreamHandlers stream;                 // Stream
    URLSession::DownloadCompletion download;  // Download
    // Download: the temporary file the body goes to; removed after the completion has run.
    std::optional<std::filesystem::path> downloadFile;
    std::optional<MultipartFormData> form;  // Upload, until it is encoded
    std::weak_ptr<URLSession::Engine> engine;
    URLSessionConfiguration configuration;

    // The body as the worker sends it: in memory, or streamed from a file.
    std::string body;
    std::optional<std::filesystem::path> bodyFile;
    bool bodyFileIsTemporary = false;

    std::atomic<State> state{State::Suspended};
    std::atomic<bool> cancelRequested{false};

    explicit Core(DispatchQueue q) : queue(std::move(q)) {}

    // Delivery to the task's queue. `finish` and `abandon` claim the end once; whichever comes
    // first wins and the other does nothing.
    void deliverResponse(HTTPURLResponse response);
    void deliverChunk(std::string chunk);
    void finish(URLDataResult result);
    // Finishes with a Cancelled error for the request's URL.
    void finishCancelled();
    void abandon();
    void removeTemporaryBody();
    void removeDownloadFile();

  private:
    bool claimEnd();
    std::atomic<bool> ended_{false};
};

class URLSession::Engine {
  public:
    Engine();
    ~Engine();  // stops the worker; unfinished tasks are abandoned

    // Queues a task whose body is ready; the worker starts it.
    void submit(std::shared_ptr<URLSessionTask::Core> core);
    // Makes the worker look at cancellation requests now.
    void wake();
    // Cancels everything, now and from here on.
    void invalidate();
    bool isInvalidated() const { return invalidated_.load(); }
    // Cancels everything as `invalidate` does and ends the worker: the end of the process.
    void shutDown();
    // Shuts every engine down; engines made afterwards start no worker and cancel every task.
    static void shutDownAll();

  private:
    struct Transfer;
    void run();
    void start(const std::shared_ptr<URLSessionTask::Core>& core);
    void collectFinished();
    void enforceCancellationAndTimeouts();
    void end(Transfer& transfer, std::optional<URLError> error);

    void* multi_ = nullptr;  // CURLM*, kept opaque so this header needs no curl include
    std::mutex mutex_;
    std::vector<std::shared_ptr<URLSessionTask::Core>> pending_;
    std::vector<std::unique_ptr<Transfer>> active_;  // worker thread only
    bool stopping_ = false;
    bool shuttingDown_ = false;  // stopping, with every handler told of the cancellation
    std::atomic<bool> invalidated_{false};
    std::thread worker_;
};

}  // namespace pex
