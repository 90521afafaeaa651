#include "platform/storekit/StoreKit.h"

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

}  // namespace pex
