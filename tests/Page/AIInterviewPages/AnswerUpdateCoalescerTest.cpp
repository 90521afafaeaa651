// A growing answer carried from its stream's thread to the main queue: however many pieces
// arrive, one update waits, and the deliveries add up to the answer in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Page/AIInterviewPages/AnswerUpdateCoalescer.h"

namespace pex {
namespace {

// The main queue as a list the test runs by hand.
class HeldQueue {
  public:
    void post(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    std::size_t waiting() {
        std::lock_guard lock(mutex_);
        return work_.size();
    }
    // Runs what waits now; answers how many items ran.
    std::size_t run() {
        std::vector<std::function<void()>> now;
        {
            std::lock_guard lock(mutex_);
            now.swap(work_);
        }
        for (auto& work : now) work();
        return now.size();
    }

  private:
    std::mutex mutex_;
    std::vector<std::function<void()>> work_;
};

struct Coalesced {
    HeldQueue queue;
    std::vector<std::string> deliveries;
    std::shared_ptr<AnswerUpdateCoalescer> updates = AnswerUpdateCoalescer::create(
        [this](std::function<void()> work) { queue.post(std::move(work)); },
        [this](const std::string& added) { deliveries.push_back(added); });
};

TEST(AnswerUpdateCoalescer, ManyPiecesWhileTheMainQueueIsBusyWaitAsOneUpdate) {
    Coalesced c;
    std::string answer;
    std::thread stream([&] {
        for (int i = 0; i < 100000; ++i) {
            answer += static_cast<char>('a' + i % 26);
            c.updates->answerGrew(answer);
        }
    });
    stream.join();
    EXPECT_EQ(c.queue.waiting(), 1u);
    EXPECT_EQ(c.queue.run(), 1u);
    ASSERT_EQ(c.deliveries.size(), 1u);
    EXPECT_EQ(c.deliveries[0], answer);

    // After a delivery the next piece queues a new update carrying that piece alone; the same
    // text again adds nothing.
    c.updates->answerGrew(answer);
    EXPECT_EQ(c.queue.waiting(), 0u);
    c.updates->answerGrew(answer + "尾");
    c.updates->answerGrew(answer + "尾巴");
    EXPECT_EQ(c.queue.waiting(), 1u);
    c.queue.run();
    ASSERT_EQ(c.deliveries.size(), 2u);
    EXPECT_EQ(c.deliveries[1], "尾巴");
}

// Run under ThreadSanitizer too: pieces keep coming while the main thread delivers.
TEST(AnswerUpdateCoalescer, PiecesArrivingDuringDeliveriesAreNeitherLostNorRepeated) {
    Coalesced c;
    std::string answer;
    std::atomic<bool> done{false};
    std::thread stream([&] {
        for (int i = 0; i < 20000; ++i) {
            answer += static_cast<char>('0' + i % 10);
            c.updates->answerGrew(answer);
        }
        done = true;
    });
    std::size_t maxWaiting = 0;
    while (!done) {
        maxWaiting = std::max(maxWaiting, c.queue.waiting());
        c.queue.run();
    }
    stream.join();
    c.queue.run();
    EXPECT_LE(maxWaiting, 1u);
    std::string delivered;
    for (const std::string& added : c.deliveries) delivered += added;
    EXPECT_EQ(delivered, answer);
}

}  // namespace
}  // namespace pex
