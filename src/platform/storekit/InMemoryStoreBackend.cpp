#include "platform/storekit/InMemoryStoreBackend.h"

#include <algorithm>

namespace pex {

void InMemoryStoreBackend::addTransaction(Purchase purchase) {
    std::lock_guard lock(mutex_);
    open_.push_back(std::move(purchase));
}

void InMemoryStoreBackend::setReceipt(ReceiptResult result) {
    std::lock_guard lock(mutex_);
    receipt_ = std::move(result);
}

std::vector<StoreTransaction> InMemoryStoreBackend::finishedTransactions() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

std::vector<InMemoryStoreBackend::ReceiptFetch> InMemoryStoreBackend::receiptFetches() const {
    std::lock_guard lock(mutex_);
    return fetches_;
}

std::vector<Purchase> InMemoryStoreBackend::unfinishedTransactions() {
    std::lock_guard lock(mutex_);
    return open_;
}

bool InMemoryStoreBackend::finishTransaction(const StoreTransaction& transaction) {
    std::lock_guard lock(mutex_);
    const auto open = std::find_if(open_.begin(), open_.end(), [&](const Purchase& purchase) {
        return purchase.transaction == transaction;
    });
    if (open == open_.end()) return false;
    finished_.push_back(open->transaction);
    open_.erase(open);
    return true;
}

ReceiptResult InMemoryStoreBackend::receipt(bool refresh) {
    std::lock_guard lock(mutex_);
    fetches_.push_back({refresh});
    return receipt_;
}

void InMemoryStoreBackend::setProducts(std::vector<StoreProduct> products) {
    std::lock_guard lock(mutex_);
    products_ = std::move(products);
}

std::vector<StoreProduct> InMemoryStoreBackend::products(const std::set<std::string>& identifiers) {
    std::lock_guard lock(mutex_);
    std::vector<StoreProduct> known;
    for (const StoreProduct& product : products_) {
        if (identifiers.count(product.productIdentifier)) known.push_back(product);
    }
    return known;
}

PurchaseResult InMemoryStoreBackend::purchase(const std::string& productId, int quantity) {
    std::lock_guard lock(mutex_);
    const bool sold = std::any_of(products_.begin(), products_.end(), [&](const StoreProduct& p) {
        return p.productIdentifier == productId;
    });
    if (!sold) return PurchaseResult::failure("无效的商品");
    Purchase made;
    made.productId = productId;
    made.quantity = quantity;
    made.transaction = {"T" + std::to_string(++purchases_), TransactionState::purchased, productId};
    made.needsFinishTransaction = true;
    open_.push_back(made);
    return PurchaseResult::success(made);
}

}  // namespace pex
