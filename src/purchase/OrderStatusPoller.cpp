#include "purchase/OrderStatusPoller.h"

#include <chrono>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/URLComponents.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"

namespace pex {

OrderStatusPoller::OrderStatusPoller(double pollingInterval, double timeout)
    : pollingInterval_(pollingInterval), timeout_(timeout) {}

OrderStatusPoller::~OrderStatusPoller() = default;

void OrderStatusPoller::start(const std::string& orderNo) {
    assertMainThread("OrderStatusPoller::start");
    stop();
    ++run_;
    orderNo_ = orderNo;
    elapsed_ = 0;
    const auto interval = std::chrono::duration_cast<Clock::Duration>(
        std::chrono::duration<double>(pollingInterval_ > 0 ? pollingInterval_ : 1.0));
    timer_ =
        std::make_unique<DispatchTimer>(DispatchQueue::main(), interval, [weak = weak_from_this()] {
            if (const auto self = weak.lock()) self->poll();
        });
    timer_->resume();
    consoleLog("开始轮询订单状态");
}

void OrderStatusPoller::stop() {
    if (!timer_) return;
    timer_->cancel();
    timer_.reset();
    ++run_;
}

void OrderStatusPoller::poll() {
    if (!timer_) return;
    elapsed_ += pollingInterval_;
    if (elapsed_ >= timeout_) {
        consoleLog("轮询超时，停止");
        stop();
        if (const auto callback = onTimeout) callback();
        return;
    }
    // The order number is one path segment, whatever it holds.
    const std::string path = kStatusPath + percentEscape(orderNo_);
    HttpDatas::shared().request(
        path, HTTPMethod::Get, std::nullopt, std::nullopt,
        [self = shared_from_this(), run = run_](
            std::optional<bool> failed, std::optional<nlohmann::json> reply,
            std::optional<std::string>) { self->handleReply(run, failed, reply); },
        HttpDatas::Alerts::quiet);
}

void OrderStatusPoller::handleReply(std::uint64_t run, std::optional<bool> failed,
                                    const std::optional<nlohmann::json>& reply) {
    // A reply of an ended or replaced run, or of another order, says nothing about this one.
    if (run != run_ || !timer_) return;
    if (failed != false || !reply) return;
    const std::int64_t status = lenient::integerValue(lenient::field(*reply, "data"));
    if (status == kPaidStatus) {
        stop();
        // Reported once the current main-queue work is done, unless polling was started
        // again or stopped in the meantime.
        DispatchQueue::main().async([weak = weak_from_this(), finished = run_] {
            const auto self = weak.lock();
            if (!self || self->run_ != finished) return;
            if (const auto callback = self->onSuccess) callback();
        });
    } else if (status == kRefundedStatus) {
        stop();
        if (const auto callback = onFailed) callback(kRefundedMessage);
    }
}

}  // namespace pex
