#pragma once
// Asks the service for the status of one QR-payment order ("/order/status/<no>") at a fixed
// interval until the order is paid (status 2), refunded (status 3) or the time-out has passed,
// and reports the outcome through one of three callbacks. The first request goes out one
// interval after `start`; a time-out is detected on the firing that reaches it, which then
// sends nothing.
//
// Each start begins a new polling run. Replies belong to the run and the order they were sent
// for: a reply that comes back after the run ended (paid, refunded, timed out, stopped) or
// after a new start is ignored, so each start reports at most one outcome. Polls are quiet:
// the shared client shows no alert for them, and a failed poll just waits for the next one.
//
// Timed by the current Clock on the main queue. Main thread only. Owners hold the poller in a
// std::shared_ptr: timers and pending replies keep only weak references to it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pex {

class DispatchTimer;

class OrderStatusPoller : public std::enable_shared_from_this<OrderStatusPoller> {
  public:
    static constexpr const char* kStatusPath = "/order/status/";
    static constexpr std::int64_t kPaidStatus = 2;
    static constexpr std::int64_t kRefundedStatus = 3;
    static constexpr const char* kRefundedMessage = "已退款";

    // Seconds between two polls and after which polling gives up.
    OrderStatusPoller(double pollingInterval, double timeout);
    ~OrderStatusPoller();
    OrderStatusPoller(const OrderStatusPoller&) = delete;
    OrderStatusPoller& operator=(const OrderStatusPoller&) = delete;

    std::function<void()> onSuccess;
    std::function<void(const std::string& message)> onFailed;
    std::function<void()> onTimeout;

    // Begins polling `orderNo`, replacing any polling under way (its replies are then ignored).
    void start(const std::string& orderNo);
    // Ends polling without reporting anything.
    void stop();
    // One polling step; the timer calls it.
    void poll();

    double pollingInterval() const { return pollingInterval_; }
    double timeout() const { return timeout_; }
    double elapsed() const { return elapsed_; }
    const std::string& orderNo() const { return orderNo_; }
    bool isPolling() const { return timer_ != nullptr; }

  private:
    void handleReply(std::uint64_t run, std::optional<bool> failed,
                     const std::optional<nlohmann::json>& reply);

    double pollingInterval_;
    double timeout_;
    double elapsed_ = 0;
    std::string orderNo_;
    std::unique_ptr<DispatchTimer> timer_;
    // Counts starts and stops: a reply carries the run it was sent in.
    std::uint64_t run_ = 0;
};

}  // namespace pex
