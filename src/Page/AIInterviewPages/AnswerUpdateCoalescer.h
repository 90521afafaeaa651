#pragma once
// Carries a growing answer from its stream's thread to the main queue with at most one update
// waiting there: pieces that arrive while one waits ride along with it. However small and many
// the pieces, the queue holds one item per answer and the text not yet shown, never a copy of
// the whole answer per piece.
//
//   auto updates = AnswerUpdateCoalescer::create(post, [](const std::string& added) { ... });
//   model.onUpdate = [updates](const std::string& text) { updates->answerGrew(text); };
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace pex {

class AnswerUpdateCoalescer : public std::enable_shared_from_this<AnswerUpdateCoalescer> {
  public:
    // Queues work on the main queue.
    using Post = std::function<void(std::function<void()>)>;
    // On the main queue: the text that arrived since the last delivery, in order.
    using Deliver = std::function<void(const std::string& added)>;

    static std::shared_ptr<AnswerUpdateCoalescer> create(Post post, Deliver deliver);

    // On the stream's thread, with the whole answer so far (which only grows): the part not
    // seen before is handed on, in a new main-queue update only when none is waiting.
    void answerGrew(const std::string& answerSoFar);

  private:
    AnswerUpdateCoalescer(Post post, Deliver deliver);
    void deliverWaiting();

    const Post post_;
    const Deliver deliver_;
    std::size_t seen_ = 0;  // stream thread only
    std::mutex mutex_;      // guards the two below, between the stream's thread and main
    std::string added_;
    bool waiting_ = false;
};

}  // namespace pex
