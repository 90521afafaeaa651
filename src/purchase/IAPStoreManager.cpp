#include "purchase/IAPStoreManager.h"

#include <nlohmann/json.hpp>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/storekit/StoreKit.h"
#include "purchase/IAPReceiptUploader.h"
#include "service/ConsoleLog.h"

namespace pex {

namespace {
constexpr const char* kVerificationFailed = "验证失败";
}  // namespace

std::shared_ptr<IAPStoreManager> IAPStoreManager::create() {
    std::shared_ptr<IAPStoreManager> manager(new IAPStoreManager);
    StoreKit::shared().addTransactionObserver(manager);
    return manager;
}

IAPStoreManager::IAPStoreManager()
    : productIDs{"com.Talvoro.60min",    "com.Talvoro.120min",    "com.Talvoro.300min",
                 "com.Talvoro.us.60min", "com.Talvoro.us.120min", "com.Talvoro.us.300min"},
      unfinishedRecordsKey("UnfinishedIAPRecords") {}

IAPStoreManager::~IAPStoreManager() {
    StoreKit::shared().removeTransactionObserver(this);
}

std::vector<IAPStoreManager::UnfinishedRecord> IAPStoreManager::loadUnfinishedRecords() const {
    const std::optional<nlohmann::json> stored =
        UserDefaults::standard().object(unfinishedRecordsKey);
    if (!stored || !stored->is_array()) return {};
    std::vector<UnfinishedRecord> records;
    for (const nlohmann::json& entry : *stored) {
        if (!entry.is_object()) return {};
        const auto orderNo = entry.find("order_no");
        const auto productId = entry.find("product_id");
        if (orderNo == entry.end() || !orderNo->is_string() || productId == entry.end() ||
            !productId->is_string()) {
            return {};
        }
        records.push_back({orderNo->get<std::string>(), productId->get<std::string>()});
    }
    return records;
}

void IAPStoreManager::storeRecords(const std::vector<UnfinishedRecord>& records) {
    nlohmann::json list = nlohmann::json::array();
    for (const UnfinishedRecord& record : records) {
        list.push_back({{"order_no", record.order_no}, {"product_id", record.product_id}});
    }
    UserDefaults::standard().set(unfinishedRecordsKey, std::move(list));
}

void IAPStoreManager::addUnfinishedRecord(const std::string& orderNo,
                                          const std::string& productId) {
    if (orderNo.empty()) return;
    std::vector<UnfinishedRecord> records = loadUnfinishedRecords();
    std::erase_if(records, [&](const UnfinishedRecord& r) { return r.order_no == orderNo; });
    records.push_back({orderNo, productId});
    storeRecords(records);
}

void IAPStoreManager::removeUnfinishedRecord(const std::string& orderNo) {
    std::vector<UnfinishedRecord> records = loadUnfinishedRecords();
    std::erase_if(records, [&](const UnfinishedRecord& r) { return r.order_no == orderNo; });
    storeRecords(records);
}

void IAPStoreManager::productsRequestDidReceive(std::vector<StoreProduct> received) {
    products = std::move(received);
    std::string ids;
    for (const StoreProduct& product : products) {
        ids += (ids.empty() ? "" : ", ") + product.productIdentifier;
    }
    consoleLog("✅ 获取商品成功: [" + ids + "]");
}

void IAPStoreManager::paymentQueueUpdatedTransactions(
    const std::vector<StoreTransaction>& updated) {
    for (const StoreTransaction& transaction : updated) {
        switch (transaction.transactionState) {
            case TransactionState::purchased:
            case TransactionState::restored:
                addUnfinishedRecord(order_no, transaction.productIdentifier);
                uploadFor(transaction);
                break;
            case TransactionState::failed:
                StoreKit::shared().finishTransaction(transaction);
                if (const auto completion = purchaseCompletion) {
                    // The store keeps no reason for a failed transaction.
                    completion(false, std::nullopt);
                }
                break;
            case TransactionState::purchasing:
            case TransactionState::deferred:
                break;
        }
    }
}

void IAPStoreManager::uploadFor(const StoreTransaction& transaction) {
    IAPReceiptUploader::shared().uploadReceipt(
        order_no,
        [weak = weak_from_this(), transaction](bool success, std::optional<std::string> message) {
            DispatchQueue::main().async([weak, transaction, success, message] {
                const auto self = weak.lock();
                if (success) StoreKit::shared().finishTransaction(transaction);
                if (!self) return;
                const PurchaseCompletion completion = std::move(self->purchaseCompletion);
                self->purchaseCompletion = nullptr;
                if (success) {
                    if (completion) completion(true, std::nullopt);
                    self->removeUnfinishedRecord(self->order_no);
                } else if (completion) {
                    completion(false, message.value_or(kVerificationFailed));
                }
            });
        });
}

}  // namespace pex
