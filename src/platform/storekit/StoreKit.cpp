#include "platform/storekit/StoreKit.h"

#include <algorithm>
#include <cstdio>

#include "platform/storekit/LocalStoreBackend.h"

namespace pex {

namespace {

bool canBeFinished(const StoreTransaction& transaction) {
    return transaction.transactionState != TransactionState::purchasing &&
           transaction.transactionState != TransactionState::deferred;
}

void refuseToFinish(const StoreTransaction& transaction) {
    std::fprintf(stderr, "StoreKit: a %s transaction of %s cannot be finished\n",
                 transactionStateName(transaction.transactionState),
                 transaction.productIdentifier.c_str());
}

}  // namespace

StoreKit& StoreKit::shared() {
    static auto* instance = new StoreKit;
    return *instance;
}

StoreKit::StoreKit() : queue_(DispatchQueue::serial("com.dorvani.storekit")) {}

void StoreKit::setBackend(std::shared_ptr<StoreBackend> backend) {
    std::lock_guard lock(mutex_);
    backend_ = std::move(backend);
}

std::shared_ptr<StoreBackend> StoreKit::backend() const {
    std::lock_guard lock(mutex_);
    return backend_;
}

std::shared_ptr<StoreBackend> StoreKit::currentBackend() {
    std::lock_guard lock(mutex_);
    if (!backend_) backend_ = std::make_shared<LocalStoreBackend>();
    return backend_;
}

void StoreKit::completeTransactions(bool atomically, TransactionsCompletion completion) {
    queue_.async([backend = currentBackend(), atomically, completion = std::move(completion)] {
        std::vector<Purchase> purchases = backend->unfinishedTransactions();
        for (Purchase& purchase : purchases) {
            const TransactionState state = purchase.transaction.transactionState;
            const bool finishedByStore = state == TransactionState::failed ||
                                         (atomically && (state == TransactionState::purchased ||
                                                         state == TransactionState::restored));
            if (!canBeFinished(purchase.transaction)) {
                purchase.needsFinishTransaction = false;
            } else if (finishedByStore) {
                if (purchase.needsFinishTransaction)
                    backend->finishTransaction(purchase.transaction);
                purchase.needsFinishTransaction = false;
            }
        }
        if (!completion) return;
        DispatchQueue::main().async([completion, purchases = std::move(purchases)]() mutable {
            completion(std::move(purchases));
        });
    });
}

void StoreKit::finishTransaction(const StoreTransaction& transaction) {
    if (!canBeFinished(transaction)) {
        refuseToFinish(transaction);
        return;
    }
    queue_.async([backend = currentBackend(), transaction] {
        if (!backend->finishTransaction(transaction)) {
            std::fprintf(stderr, "StoreKit: no open transaction %s of %s to finish\n",
                         transaction.transactionIdentifier.value_or("(no identifier)").c_str(),
                         transaction.productIdentifier.c_str());
        }
    });
}

void StoreKit::fetchReceipt(bool forceRefresh, ReceiptCompletion completion) {
    queue_.async([backend = currentBackend(), forceRefresh, completion = std::move(completion)] {
        ReceiptResult result = backend->receipt(forceRefresh);
        if (!completion) return;
        DispatchQueue::main().async(
            [completion, result = std::move(result)]() mutable { completion(std::move(result)); });
    });
}

void StoreKit::retrieveProductsInfo(const std::set<std::string>& productIds,
                                    ProductsCompletion completion) {
    queue_.async([backend = currentBackend(), productIds, completion = std::move(completion)] {
        RetrieveResults results;
        results.retrievedProducts = backend->products(productIds);
        results.invalidProductIDs = productIds;
        for (const StoreProduct& product : results.retrievedProducts) {
            results.invalidProductIDs.erase(product.productIdentifier);
        }
        if (!completion) return;
        DispatchQueue::main().async([completion, results = std::move(results)]() mutable {
            completion(std::move(results));
        });
    });
}

void StoreKit::purchaseProduct(const std::string& productId, int quantity, bool atomically,
                               PurchaseCompletion completion) {
    queue_.async([this, backend = currentBackend(), productId, quantity, atomically,
                  completion = std::move(completion)] {
        PurchaseResult result = backend->purchase(productId, std::max(1, quantity));
        if (result.purchase && atomically && result.purchase->needsFinishTransaction) {
            backend->finishTransaction(result.purchase->transaction);
            result.purchase->needsFinishTransaction = false;
        }
        DispatchQueue::main().async([this, completion, result = std::move(result)]() mutable {
            if (result.purchase) tellObservers({result.purchase->transaction});
            if (completion) completion(std::move(result));
        });
    });
}

void StoreKit::addTransactionObserver(std::weak_ptr<PaymentTransactionObserver> observer) {
    std::lock_guard lock(mutex_);
    observers_.push_back(std::move(observer));
}

void StoreKit::removeTransactionObserver(const PaymentTransactionObserver* observer) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [&](const std::weak_ptr<PaymentTransactionObserver>& held) {
        const auto alive = held.lock();
        return !alive || alive.get() == observer;
    });
}

void StoreKit::tellObservers(const std::vector<StoreTransaction>& updated) {
    std::vector<std::shared_ptr<PaymentTransactionObserver>> alive;
    {
        std::lock_guard lock(mutex_);
        for (const auto& held : observers_) {
            if (auto observer = held.lock()) alive.push_back(std::move(observer));
        }
    }
    for (const auto& observer : alive) observer->paymentQueueUpdatedTransactions(updated);
}

}  // namespace pex
