#include "Page/AIInterviewPages/AnswerUpdateCoalescer.h"

#include <utility>

namespace pex {

std::shared_ptr<AnswerUpdateCoalescer> AnswerUpdateCoalescer::create(Post post, Deliver deliver) {
    return std::shared_ptr<AnswerUpdateCoalescer>(
        new AnswerUpdateCoalescer(std::move(post), std::move(deliver)));
}

AnswerUpdateCoalescer::AnswerUpdateCoalescer(Post post, Deliver deliver)
    : post_(std::move(post)), deliver_(std::move(deliver)) {}

void AnswerUpdateCoalescer::answerGrew(const std::string& answerSoFar) {
    if (answerSoFar.size() <= seen_) return;
    bool post = false;
    {
        std::lock_guard lock(mutex_);
        added_.append(answerSoFar, seen_);
        post = !std::exchange(waiting_, true);
    }
    seen_ = answerSoFar.size();
    if (post) post_([self = shared_from_this()] { self->deliverWaiting(); });
}

void AnswerUpdateCoalescer::deliverWaiting() {
    std::string added;
    {
        std::lock_guard lock(mutex_);
        added.swap(added_);
        waiting_ = false;
    }
    deliver_(added);
}

}  // namespace pex
