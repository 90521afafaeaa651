// The order status poller against the stand-in service over HTTP, timed by a manual clock: the
// schedule of polls, the three outcomes, polling through failures without alerts, and replies
// that arrive for an ended or replaced run.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Page/PageFixture.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/MainQueue.h"
#include "purchase/OrderStatusPoller.h"

namespace pex {
namespace {

using standin::Call;
using standin::Fault;
using standin::Reply;

class OrderStatusPollerTest : public test::PageFixture {
  protected:
    ~OrderStatusPollerTest() override {
        poller_->stop();
        settleReplies();
    }

    // Answers "/order/status/<no>" from a script of statuses, one per request; the last one
    // repeats.
    void scriptStatuses(std::vector<int> statuses) {
        service_.addApiPath("GET", "/order/status/*", [this, statuses](const Call& call) {
            std::lock_guard lock(mutex_);
            asked_.push_back(call.rest);
            return Reply::ok(statuses[std::min(asked_.size(), statuses.size()) - 1]);
        });
    }
    std::vector<std::string> asked() {
        std::lock_guard lock(mutex_);
        return asked_;
    }

    // Moves time on and lets every poll it fired have its reply handled.
    void advance(double seconds = 3) {
        clock_.clock().advance(
            std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(seconds)));
        MainQueue::drain();
        ASSERT_TRUE(settleReplies());
        MainQueue::drain();
    }

    void start(const std::string& orderNo) {
        poller_->onSuccess = [this] { ++successes_; };
        poller_->onFailed = [this](const std::string& message) { failures_.push_back(message); };
        poller_->onTimeout = [this] { ++timeouts_; };
        poller_->start(orderNo);
    }

    ScopedManualClock clock_;
    std::shared_ptr<OrderStatusPoller> poller_ = std::make_shared<OrderStatusPoller>(3.0, 300.0);
    std::mutex mutex_;
    std::vector<std::string> asked_;
    int successes_ = 0;
    int timeouts_ = 0;
    std::vector<std::string> failures_;
};

TEST_F(OrderStatusPollerTest, PaidAfterTwoOpenStatusesReportsSuccessOnceAndStops) {
    scriptStatuses({1, 1, 2});
    start("PX1001");
    EXPECT_EQ(sentRequests(), 0) << "the first poll comes one interval after the start";
    advance();
    advance();
    EXPECT_EQ(successes_, 0);
    EXPECT_TRUE(poller_->isPolling());
    advance();
    EXPECT_EQ(successes_, 1);
    EXPECT_FALSE(poller_->isPolling());
    EXPECT_EQ(asked(), (std::vector<std::string>{"PX1001", "PX1001", "PX1001"}));
    advance(30);
    EXPECT_EQ(asked().size(), 3u) << "no poll after the end";
    EXPECT_EQ(successes_, 1);
    EXPECT_TRUE(failures_.empty());
    EXPECT_EQ(timeouts_, 0);
}

TEST_F(OrderStatusPollerTest, SuccessIsReportedAfterTheCurrentMainQueueWork) {
    scriptStatuses({2});
    start("PX1");
    clock_.clock().advance(std::chrono::seconds(3));
    // The reply is handled in one main-queue turn, the report in a later one.
    ASSERT_TRUE(test::runMainUntil([&] { return handledReplies() == 1; }));
    EXPECT_FALSE(poller_->isPolling());
    MainQueue::drain();
    EXPECT_EQ(successes_, 1);
}

TEST_F(OrderStatusPollerTest, RefundEndsPollingWithTheRefundMessage) {
    scriptStatuses({0, 3});
    start("PX2");
    advance();
    EXPECT_TRUE(failures_.empty());
    advance();
    EXPECT_EQ(failures_, std::vector<std::string>{"已退款"});
    EXPECT_FALSE(poller_->isPolling());
    advance(30);
    EXPECT_EQ(asked().size(), 2u);
    EXPECT_EQ(successes_, 0);
}

TEST_F(OrderStatusPollerTest, TimesOutAfterNinetyNineRequestsWithoutSendingAHundredth) {
    scriptStatuses({1});
    start("PX3");
    for (int i = 0; i < 99; ++i) advance();
    EXPECT_EQ(sentRequests(), 99);
    EXPECT_EQ(timeouts_, 0);
    EXPECT_DOUBLE_EQ(poller_->elapsed(), 297);
    advance();
    EXPECT_EQ(sentRequests(), 99);
    EXPECT_EQ(timeouts_, 1);
    EXPECT_FALSE(poller_->isPolling());
    advance(30);
    EXPECT_EQ(timeouts_, 1);
}

TEST_F(OrderStatusPollerTest, ATimeoutNotAboveTheIntervalEndsAtTheFirstFiringWithoutARequest) {
    scriptStatuses({1});
    poller_ = std::make_shared<OrderStatusPoller>(3.0, 3.0);
    start("PX4");
    advance();
    EXPECT_EQ(timeouts_, 1);
    EXPECT_EQ(sentRequests(), 0);
}

TEST_F(OrderStatusPollerTest, FailedPollsAreQuietAndPollingGoesOn) {
    scriptStatuses({2});
    start("PX5");
    const std::vector<Fault> outages = {Fault::serviceError(1004, "订单不存在"),
                                        Fault::serverError(false), Fault::droppedConnection(),
                                        Fault::notJson()};
    for (const Fault& outage : outages) {
        Fault once = outage;
        service_.setFault("/order/status/*", once.times(1));
        advance();
        EXPECT_TRUE(poller_->isPolling());
    }
    advance();
    EXPECT_EQ(successes_, 1);
    // Let any alert that was scheduled come due: none may have been.
    clock_.clock().advance(std::chrono::seconds(1));
    MainQueue::drain();
    EXPECT_TRUE(alerts_->messages.empty());
    EXPECT_EQ(sentRequests(), 5);
}

TEST_F(OrderStatusPollerTest, RepliesOfAnEndedOrReplacedRunAreIgnored) {
    scriptStatuses({2});
    // The first poll's reply is held back until after a new start for another order.
    service_.setFault("/order/status/*", Fault::slow(std::chrono::milliseconds(300)).times(1));
    start("OLD");
    clock_.clock().advance(std::chrono::seconds(3));
    MainQueue::drain();
    ASSERT_EQ(sentRequests(), 1);
    start("NEW");
    ASSERT_TRUE(settleReplies());
    MainQueue::drain();
    EXPECT_EQ(successes_, 0) << "the old order's paid status is not the new order's";
    EXPECT_TRUE(poller_->isPolling());
    EXPECT_DOUBLE_EQ(poller_->elapsed(), 0);

    // A stop ends the run: its late reply reports nothing either.
    service_.setFault("/order/status/*", Fault::slow(std::chrono::milliseconds(300)).times(1));
    clock_.clock().advance(std::chrono::seconds(3));
    MainQueue::drain();
    poller_->stop();
    ASSERT_TRUE(settleReplies());
    MainQueue::drain();
    EXPECT_EQ(successes_, 0);
    EXPECT_EQ(asked(), (std::vector<std::string>{"OLD", "NEW"}));
}

TEST_F(OrderStatusPollerTest, StartingAgainRestartsTheCount) {
    scriptStatuses({1});
    start("PX6");
    advance();
    advance();
    EXPECT_DOUBLE_EQ(poller_->elapsed(), 6);
    start("PX7");
    EXPECT_DOUBLE_EQ(poller_->elapsed(), 0);
    EXPECT_EQ(poller_->orderNo(), "PX7");
    advance();
    EXPECT_EQ(asked().back(), "PX7");
    EXPECT_EQ(asked().size(), 3u);
}

TEST_F(OrderStatusPollerTest, TheOrderNumberIsOnePathSegment) {
    scriptStatuses({1});
    start("A/B?c");
    advance();
    // Sent escaped: the service reads it back whole, with no query split off.
    EXPECT_EQ(asked(), std::vector<std::string>{"A/B?c"});
    ASSERT_EQ(service_.requests("/order/status/*").size(), 1u);
    EXPECT_EQ(service_.requests("/order/status/*")[0].query, "");
}

}  // namespace
}  // namespace pex
