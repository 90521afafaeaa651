#pragma once
// What a session window hears from minute billing.
#include <string>

namespace pex {

class BillingNewDelegate {
  public:
    virtual ~BillingNewDelegate() = default;
    // The service accepted the start of a consumption with this identifier.
    virtual void billingDidStart(const std::string& consumeID) = 0;
    // Billing ended or cannot go on: "订单请求失败", "余额不足", "订单 ID 为空，无法更新",
    // "订单更新失败", or the empty text once the final report was accepted.
    virtual void billingDidEnd(const std::string& message) = 0;
};

}  // namespace pex
