#include "service/BillingNewManager.h"

#include <optional>

#include <nlohmann/json.hpp>

#include "platform/foundation/MainQueue.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"
#include "service/TimerManager.h"

namespace pex {

// The session clock's billing callback as this manager installs it. A type of its own so that
// the manager can recognise its own callback when it goes away.
struct BillingNewManager::PeriodicReport {
    std::weak_ptr<BillingNewManager> manager;
    const BillingNewManager* owner = nullptr;

    void operator()() const {
        if (auto self = manager.lock()) self->updateConsume(false);
    }
};

namespace {

// A reply that counts as accepted: the outcome is a success and a reply is there.
bool succeeded(const std::optional<bool>& failed, const std::optional<nlohmann::json>& reply) {
    return failed.has_value() && !*failed && reply.has_value();
}

// "/consume/update_consume": status 2 for the final report, 1 for a periodic one.
nlohmann::json usageReport(bool isEnd, const std::string& consumeID) {
    return {{"status", isEnd ? 2 : 1}, {"consume_id", consumeID}};
}

}  // namespace

std::shared_ptr<BillingNewManager> BillingNewManager::create() {
    return std::shared_ptr<BillingNewManager>(new BillingNewManager());
}

BillingNewManager::~BillingNewManager() {
    auto& billing = TimerManager::shared().onBillingUpdate;
    const auto* installed = billing.target<PeriodicReport>();
    if (installed && installed->owner == this) billing = nullptr;
}

void BillingNewManager::startConsume() {
    assertMainThread("BillingNewManager::startConsume");
    HttpDatas::shared().request(
        "/consume/start", HTTPMethod::Post, nlohmann::json{{"function_type", 1}}, std::nullopt,
        [weak = weak_from_this()](std::optional<bool> failed, std::optional<nlohmann::json> reply,
                                  std::optional<std::string>) {
            const bool ok = succeeded(failed, reply);
            const std::string data = ok ? lenient::text(*reply, "data") : std::string();
            if (const auto self = weak.lock()) {
                self->startReplied(ok, data);
            } else if (!data.empty()) {
                // The window went before the service opened the consumption: nobody would ever
                // end it, and the service would go on counting the user's minutes.
                sendFinalReport(data);
            }
        });
}

void BillingNewManager::sendFinalReport(const std::string& consumeID) {
    HttpDatas::shared().request("/consume/update_consume", HTTPMethod::Post,
                                usageReport(true, consumeID), std::nullopt, nullptr,
                                HttpDatas::Alerts::quiet);
}

void BillingNewManager::startReplied(bool accepted, const std::string& data) {
    if (!accepted) return endBilling(kRequestFailed);
    if (data.empty()) return endBilling(kNoBalance);
    consumeID = data;
    if (delegate) delegate->billingDidStart(consumeID);
    // Installed after the delegate started the clock, so the clock finds it at its tenth second.
    TimerManager::shared().onBillingUpdate = PeriodicReport{weak_from_this(), this};
}

void BillingNewManager::updateConsume(bool isEnd) {
    assertMainThread("BillingNewManager::updateConsume");
    if (consumeID.empty()) return endBilling(kNoConsumeID);
    HttpDatas::shared().request(
        "/consume/update_consume", HTTPMethod::Post, usageReport(isEnd, consumeID), std::nullopt,
        [weak = weak_from_this(), isEnd](std::optional<bool> failed,
                                         std::optional<nlohmann::json> reply,
                                         std::optional<std::string> message) {
            const auto self = weak.lock();
            if (!self) return;
            self->updateReplied(succeeded(failed, reply), isEnd, message.value_or(""));
        });
}

void BillingNewManager::updateReplied(bool accepted, bool isEnd, const std::string& message) {
    if (!accepted) return endBilling(kUpdateFailed);
    // A periodic report that was accepted needs nothing further.
    if (isEnd) endBilling(message);
}

void BillingNewManager::endBilling(const std::string& message) {
    // No further periodic reports, then tell the window.
    TimerManager::shared().onBillingUpdate = nullptr;
    if (delegate) delegate->billingDidEnd(message);
}

}  // namespace pex
