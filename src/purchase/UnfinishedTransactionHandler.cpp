#include "purchase/UnfinishedTransactionHandler.h"

#include "platform/storekit/StoreKit.h"
#include "purchase/IAPReceiptUploader.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {

bool isCompletedPayment(const StoreTransaction& transaction) {
    return transaction.transactionState == TransactionState::purchased ||
           transaction.transactionState == TransactionState::restored;
}

}  // namespace

void UnfinishedTransactionHandler::completeTransactionsAtLaunch() {
    StoreKit::shared().completeTransactions(
        false, [](std::vector<Purchase> purchases) { handleUnfinishedTransactions(purchases); });
}

void UnfinishedTransactionHandler::handleUnfinishedTransactions(
    const std::vector<Purchase>& purchases) {
    IAPReceiptUploader& uploader = IAPReceiptUploader::shared();
    for (const Purchase& purchase : purchases) {
        if (!isCompletedPayment(purchase.transaction)) continue;
        const std::optional<PendingIAPOrder> order = uploader.findPendingOrder(
            purchase.productId, purchase.transaction.transactionIdentifier);
        if (!order) {
            consoleLog("⚠️ 找到未完成交易，但没有匹配到本地订单: " +
                       purchase.productId);
            continue;
        }
        uploader.uploadReceipt(
            order->orderNo,
            [purchase, order = *order](bool success, std::optional<std::string> message) {
                handleReceiptReupload(success, message, purchase, order);
            });
    }
}

void UnfinishedTransactionHandler::handleReceiptReupload(bool success,
                                                         const std::optional<std::string>& message,
                                                         const Purchase& purchase,
                                                         const PendingIAPOrder& order) {
    const auto settled =
        IAPReceiptUploader::shared().settleUpload(success, message, purchase, order.orderNo);
    if (settled == IAPReceiptUploader::Settlement::accepted) {
        consoleLog("✅ 已补传并完成交易: " + purchase.productId);
        return;
    }
    consoleLog("❌ 补传小票失败: " + message.value_or("未知错误"));
}

}  // namespace pex
