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

std::string receiptFailureMessage(const ReceiptError& error) {
    switch (error.kind) {
        case ReceiptError::Kind::requestFailed:
            return error.description;
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
    auto orders = PendingIAPOrder::decodeList(std::string(stored->begin(), stored->end()));
    return orders.value_or(std::vector<PendingIAPOrder>{});
}

void IAPReceiptUploader::savePendingOrders(const std::vector<PendingIAPOrder>& orders) {
    if (orders.empty()) {
        SettingsStore::remove(pendingOrdersKey);
        return;
    }
    const std::optional<std::string> encoded = PendingIAPOrder::encodeList(orders);
    if (!encoded) return;
    SettingsStore::set(pendingOrdersKey,
                       UserDefaults::dataValue(Bytes(encoded->begin(), encoded->end())));
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
        if (order.productId != productId) continue;
        if (match) return std::nullopt;  // several orders: none can be told to be the one
        match = order;
    }
    return match;
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
