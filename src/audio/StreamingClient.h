#pragma once
// Streams one suggested answer from the service's "/ai/meet": posts the question and reads the
// reply as it arrives, line by line; each line "data: {"data":{"content":"..."}}" adds its
// content to the model's answer. The content "@@" is a marker, not answer text.
//
//   auto client = StreamingClient::create(std::move(model));  // model's callbacks filled in
//   client->start();
//   ...
//   client->cancel();  // optional; `didComplete` still comes, once
//
// Every client has its own serial delegate queue (its requests share one URL session):
// `onUpdate` and `didComplete` run there, never on the caller's thread. `start` and `cancel` may be
// called from any thread. A running stream keeps its client alive until `didComplete` has run.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "audio/StreamLineBuffer.h"
#include "audio/StreamModel.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/URLError.h"
#include "platform/foundation/URLRequest.h"

namespace pex {

class URLSessionTask;

class StreamingClient : public std::enable_shared_from_this<StreamingClient> {
  public:
    static constexpr const char* kPath = "/ai/meet";
    static constexpr std::chrono::seconds kTimeout{60};
    // The longest answer kept, in bytes; the stream is closed when it is reached (the answer
    // keeps its first part, cut at a character boundary, and ends as finished).
    static constexpr std::size_t kMaxAnswerBytes = 256 * 1024;

    static std::shared_ptr<StreamingClient> create(StreamModel model);
    virtual ~StreamingClient();
    StreamingClient(const StreamingClient&) = delete;
    StreamingClient& operator=(const StreamingClient&) = delete;

    // Sends the question. An address that does not form a URL ends the stream at once as
    // failed. A client is started once; later calls do nothing.
    void start();
    // Stops reading lines and cancels the request; `didComplete` follows with what arrived.
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }

    // The request `start` sends to `address`: headers, body and time-out.
    static URLRequest makeRequest(const StreamModel& model, const std::string& address);

    // The URL session's delegate messages, on the delegate queue, in this order.
    virtual void handleResponse(const HTTPURLResponse& response);
    virtual void handleReceivedData(std::string_view chunk);
    virtual void handleCompletion(const std::optional<URLError>& error);

    // The question and the answer so far. Written on the delegate queue while the stream runs.
    StreamModel model;
    const DispatchQueue& delegateQueue() const { return delegateQueue_; }

  protected:
    explicit StreamingClient(StreamModel streamModel);

  private:
    void handleLine(std::string_view line);
    void closeAtLimit();
    void complete(StreamOutcome outcome);

    std::atomic<bool> cancelled_{false};
    DispatchQueue delegateQueue_;
    std::mutex taskMutex_;  // `dataTask_` and `started_`, between start and cancel
    std::shared_ptr<URLSessionTask> dataTask_;
    bool started_ = false;

    // Delegate queue only.
    StreamLineBuffer buffer_;
    std::optional<long> statusCode_;
    bool completed_ = false;
    bool truncated_ = false;
};

}  // namespace pex
