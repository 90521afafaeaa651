#include "platform/foundation/OperationQueue.h"

#include <deque>
#include <mutex>
#include <vector>

namespace pex {

struct OperationQueue::State {
    State(std::string name, int maxConcurrentOperationCount, DispatchQueue queue)
        : name(std::move(name)),
          maxConcurrentOperationCount(maxConcurrentOperationCount),
          queue(std::move(queue)) {}

    const std::string name;
    const int maxConcurrentOperationCount;
    const DispatchQueue queue;

    std::mutex mutex;
    std::deque<Work> waiting;
    int running = 0;

    bool mayStartAnother() const {
        return maxConcurrentOperationCount == kDefaultMaxConcurrentOperationCount ||
               running < maxConcurrentOperationCount;
    }
};

void OperationQueue::startWaiting(const std::shared_ptr<State>& state) {
    std::vector<Work> ready;
    {
        std::lock_guard lock(state->mutex);
        while (!state->waiting.empty() && state->mayStartAnother()) {
            ready.push_back(std::move(state->waiting.front()));
            state->waiting.pop_front();
            ++state->running;
        }
    }
    for (auto& work : ready) {
        state->queue.async([state, work = std::move(work)] {
            work();
            {
                std::lock_guard lock(state->mutex);
                --state->running;
            }
            startWaiting(state);
        });
    }
}

OperationQueue::OperationQueue(std::string name, int maxConcurrentOperationCount,
                               std::optional<DispatchQueue> underlyingQueue) {
    if (maxConcurrentOperationCount != kDefaultMaxConcurrentOperationCount &&
        maxConcurrentOperationCount < 1) {
        maxConcurrentOperationCount = 1;
    }
    DispatchQueue queue = underlyingQueue ? *underlyingQueue : DispatchQueue::concurrent(name);
    state_ =
        std::make_shared<State>(std::move(name), maxConcurrentOperationCount, std::move(queue));
}

const std::string& OperationQueue::name() const {
    return state_->name;
}

int OperationQueue::maxConcurrentOperationCount() const {
    return state_->maxConcurrentOperationCount;
}

void OperationQueue::addOperation(Work work) const {
    {
        std::lock_guard lock(state_->mutex);
        state_->waiting.push_back(std::move(work));
    }
    startWaiting(state_);
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->waiting.size() + static_cast<std::size_t>(state_->running);
}

}  // namespace pex
