#pragma once
// Minute billing for one session window: opens a consumption with the service, reports every
// ten seconds of session time (through the session clock's billing callback) that the session
// still runs, and reports its end. Results reach the window through BillingNewDelegate on the
// main thread. Main thread only.
#include <memory>
#include <string>

#include "service/BillingNewDelegate.h"

namespace pex {

class BillingNewManager : public std::enable_shared_from_this<BillingNewManager> {
  public:
    static constexpr const char* kRequestFailed = "订单请求失败";
    static constexpr const char* kNoBalance = "余额不足";
    static constexpr const char* kNoConsumeID = "订单 ID 为空，无法更新";
    static constexpr const char* kUpdateFailed = "订单更新失败";

    // Replies hold the manager weakly, so it lives in a shared pointer: a reply that arrives
    // after the window let go of it tells nobody. A start accepted by then is closed at once
    // with its final report, so that no consumption stays open without a window.
    static std::shared_ptr<BillingNewManager> create();
    // Clears the session clock's billing callback when it is still the one this manager put
    // there; a callback of another manager stays.
    virtual ~BillingNewManager();
    BillingNewManager(const BillingNewManager&) = delete;
    BillingNewManager& operator=(const BillingNewManager&) = delete;

    // Sends "/consume/start". On success tells the delegate, then arms the periodic reports.
    virtual void startConsume();
    // Sends "/consume/update_consume": status 2 (the final report) when `isEnd`, else 1.
    virtual void updateConsume(bool isEnd);

    // The open consumption as the service named it; empty until a start succeeds.
    std::string consumeID;
    // Not owned: the session window owns this manager and so outlives it. None: nobody is told.
    BillingNewDelegate* delegate = nullptr;

  protected:
    BillingNewManager() = default;

  private:
    struct PeriodicReport;
    // The final report of `consumeID`, whose answer nobody waits for.
    static void sendFinalReport(const std::string& consumeID);
    void startReplied(bool accepted, const std::string& data);
    void updateReplied(bool accepted, bool isEnd, const std::string& message);
    void endBilling(const std::string& message);
};

}  // namespace pex
