#include "purchase/IAPReceiptUploader.h"

#include <memory>

#include <nlohmann/json.hpp>

#include "platform/foundation/DefaultsFileFormat.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/storekit/StoreKit.h"
#include "service/ConsoleLog.h"
#include "service/HttpDatas.h"
#include "service/LenientJson.h"
#include "service/SettingsStore.h"

namespace pex {

namespace {

constexpr const char* kVerificationFailed = "验证失败";
constexpr const char* kAlreadyVerified = "小票重复验证";
// Every failure carries a message: a request that failed without saying why gets this one.
constexpr const char* kReceiptRequestFailed = "收据请求失败";

std::string receiptFailureMessage(const ReceiptError& error) {
    switch (error.kind) {
        case ReceiptError::Kind::requestFailed:
            return error.description.empty() ? kReceiptRequestFailed : error.description;
        case ReceiptError::Kind::undecodable:
            return "收据解析失败";
        case ReceiptError::Kind::invalid:
            return "收据无效";
        case ReceiptError::Kind::noReceiptData:
            return "收据获取失败，请检查 Apple ID";
        case ReceiptError::Kind::noRemoteData:
            return "未获取到收据数据";
    }
    return kVerificationFailed;
}

std::optional<std::string> replyMessage(const std::optional<nlohmann::json>& reply) {
    if (!reply) return std::nullopt;
    const nlohmann::json& message = lenient::field(*reply, "message");
    if (!message.is_string()) return std::nullopt;
    return message.get<std::string>();
}

// The service accepted the receipt only when the client reports success and "code" reads 0.
void finishUpload(std::optional<bool> failed, const std::optional<nlohmann::json>& reply,
                  const std::optional<std::string>& clientMessage,
                  const IAPReceiptUploader::UploadCompletion& completion) {
    if (failed == false) {
        const std::int64_t code = reply ? lenient::integer(*reply, "code") : 0;
        if (code == 0) {
            completion(true, std::nullopt);
        } else {
            completion(false, replyMessage(reply).value_or(kVerificationFailed));
        }
        return;
    }
    if (auto message = replyMessage(reply)) {
        completion(false, std::move(message));
    } else if (clientMessage && !clientMessage->empty()) {
        completion(false, clientMessage);
    } else {
        completion(false, kVerificationFailed);
    }
}

}  // namespace

IAPReceiptUploader& IAPReceiptUploader::shared() {
    static auto* instance = new IAPReceiptUploader;
    return *instance;
}

IAPReceiptUploader::IAPReceiptUploader() : pendingOrdersKey(SettingsKeys::pendingIAPOrders) {}

std::vector<PendingIAPOrder> IAPReceiptUploader::loadPendingOrders() const {
    const std::optional<Bytes> stored = SettingsStore::data(pendingOrdersKey);
    if (!stored) return {};
    std::size_t skipped = 0;
    auto orders =
        PendingIAPOrder::decodeList(std::string(stored->begin(), stored->end()), &skipped);
    if (skipped > 0) {
        consoleLog("⚠️ 跳过无法读取的待处理订单 " + std::to_string(skipped) +
                   " 条");
    }
    return orders.value_or(std::vector<PendingIAPOrder>{});
}

void IAPReceiptUploader::keepAsideIfUnreadable() {
    UserDefaults& defaults = UserDefaults::standard();
    const std::optional<nlohmann::json> stored = defaults.object(pendingOrdersKey);
    if (!stored) return;
    bool readable = false;
    if (const std::optional<Bytes> data = defaults.data(pendingOrdersKey)) {
        std::size_t skipped = 0;
        readable = PendingIAPOrder::decodeList(std::string(data->begin(), data->end()), &skipped)
                       .has_value() &&
                   skipped == 0;
    }
    if (readable) return;
    nlohmann::json kept = defaults.object(kUnreadableOrdersKey).value_or(nlohmann::json::array());
    if (!kept.is_array()) kept = nlohmann::json::array({kept});
    if (kept.empty() || kept.back() != *stored) kept.push_back(*stored);
    defaults.set(kUnreadableOrdersKey, std::move(kept));
    consoleLog("⚠️ 无法读取的待处理订单已另存于 " +
               std::string(kUnreadableOrdersKey));
}

void IAPReceiptUploader::savePendingOrders(const std::vector<PendingIAPOrder>& orders) {
    std::optional<std::string> encoded;
    if (!orders.empty()) {
        encoded = PendingIAPOrder::encodeList(orders);
        if (!encoded) return;
    }
    keepAsideIfUnreadable();
    if (!encoded) {
        SettingsStore::remove(pendingOrdersKey);
        return;
    }
    SettingsStore::set(pendingOrdersKey,
                       UserDefaults::dataValue(Bytes(encoded->begin(), encoded->end())));
}

void IAPReceiptUploader::addPendingOrder(const std::string& orderNo, const std::string& productId,
                                         const std::optional<std::string>& transactionId) {
    if (orderNo.empty() || productId.empty()) return;
    std::vector<PendingIAPOrder> orders = loadPendingOrders();
    std::erase_if(orders, [&](const PendingIAPOrder& stored) { return stored.orderNo == orderNo; });
    orders.push_back({orderNo, productId, transactionId});
    savePendingOrders(orders);
}

void IAPReceiptUploader::removePendingOrder(const std::string& orderNo) {
    std::vector<PendingIAPOrder> orders = loadPendingOrders();
    std::erase_if(orders, [&](const PendingIAPOrder& stored) { return stored.orderNo == orderNo; });
    savePendingOrders(orders);
}

std::optional<PendingIAPOrder> IAPReceiptUploader::findPendingOrder(
    const std::string& productId, const std::optional<std::string>& transactionId) const {
    const std::vector<PendingIAPOrder> orders = loadPendingOrders();
    if (transactionId) {
        for (const PendingIAPOrder& order : orders) {
            if (order.transactionId == transactionId) return order;
        }
    }
    std::optional<PendingIAPOrder> match;
    for (const PendingIAPOrder& order : orders) {
        if (order.productId != productId || order.transactionId) continue;
        if (match) return std::nullopt;  // several orders: none can be told to be the one
        match = order;
    }
    return match;
}

IAPReceiptUploader::Settlement IAPReceiptUploader::settleUpload(
    bool success, const std::optional<std::string>& message, const Purchase& purchase,
    const std::string& orderNo) {
    if (success) {
        if (purchase.needsFinishTransaction)
            StoreKit::shared().finishTransaction(purchase.transaction);
        removePendingOrder(orderNo);
        return Settlement::accepted;
    }
    if (message && message->find(kAlreadyVerified) != std::string::npos) {
        StoreKit::shared().finishTransaction(purchase.transaction);
        removePendingOrder(orderNo);
        return Settlement::alreadyVerified;
    }
    return Settlement::kept;
}

void IAPReceiptUploader::uploadReceipt(const std::string& orderNo, UploadCompletion completion) {
    auto done = std::make_shared<UploadCompletion>(
        completion ? std::move(completion) : [](bool, std::optional<std::string>) {});
    if (orderNo.empty()) {
        DispatchQueue::main().async([done] { (*done)(false, "订单号为空"); });
        return;
    }
    consoleLog("!!!!" + orderNo);
    StoreKit::shared().fetchReceipt(true, [orderNo, done](ReceiptResult result) {
        if (!result.receipt) {
            (*done)(false, receiptFailureMessage(result.error.value_or(ReceiptError{})));
            return;
        }
        const std::string receiptData = DefaultsFileFormat::base64(
            nlohmann::json::binary_t(std::vector<std::uint8_t>(*result.receipt)));
        nlohmann::json parameters{{"order_no", orderNo}, {"receipt_data", receiptData}};
        HttpDatas::shared().request(
            IAPReceiptUploader::kUploadPath, HTTPMethod::Post, std::move(parameters), std::nullopt,
            [done](std::optional<bool> failed, std::optional<nlohmann::json> reply,
                   std::optional<std::string> message) {
                finishUpload(failed, reply, message, *done);
            });
    });
}

}  // namespace pex
