#pragma once
// The application's door to the store: the completion of transactions left unfinished,
// finishing transactions, and the application's receipt. The work runs on the store's own
// serial queue, in the order asked for, against a backend (StoreBackend.h); by default the
// local backend on its default file. Every completion is posted to the main queue, never run
// from inside the call.
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/DispatchQueue.h"
#include "platform/storekit/PaymentTransactionObserver.h"
#include "platform/storekit/ReceiptResult.h"
#include "platform/storekit/StoreBackend.h"
#include "platform/storekit/StoreTransaction.h"

namespace pex {

class StoreKit {
  public:
    using TransactionsCompletion = std::function<void(std::vector<Purchase> purchases)>;
    using ReceiptCompletion = std::function<void(ReceiptResult result)>;
    using ProductsCompletion = std::function<void(RetrieveResults results)>;
    using PurchaseCompletion = std::function<void(PurchaseResult result)>;

    static StoreKit& shared();

    // None puts back the local backend on its default file. Calls already queued keep the
    // backend they started with.
    void setBackend(std::shared_ptr<StoreBackend> backend);
    std::shared_ptr<StoreBackend> backend() const;

    // Reports every open transaction once, in the store's order, to `completion`. A failed
    // transaction carries nothing to deliver, so the store finishes it itself. Purchasing and
    // deferred transactions cannot be finished yet. Purchased and restored ones are finished
    // here first when `atomically` is true; otherwise they keep the backend's needs-finish flag
    // and the application finishes them with `finishTransaction` once it has dealt with them.
    // A purchase's `needsFinishTransaction` is true only when the application has to finish it.
    void completeTransactions(bool atomically, TransactionsCompletion completion);

    // Closes the transaction so the store stops reporting it. Returns at once; later calls see
    // it finished. Purchasing and deferred transactions cannot be finished and stay open.
    void finishTransaction(const StoreTransaction& transaction);

    // The application's receipt; `forceRefresh` asks the store for a fresh copy.
    void fetchReceipt(bool forceRefresh, ReceiptCompletion completion);

    // What the store knows of `productIds`: its products and the identifiers it does not know.
    void retrieveProductsInfo(const std::set<std::string>& productIds,
                              ProductsCompletion completion);

    // Buys `quantity` of a product. A purchase made is told to the transaction observers too;
    // with `atomically` it is finished here, otherwise it stays open (needsFinishTransaction)
    // until the application finishes it.
    void purchaseProduct(const std::string& productId, int quantity, bool atomically,
                         PurchaseCompletion completion);

    // The payment queue's observers, held weakly; told on the main queue.
    void addTransactionObserver(std::weak_ptr<PaymentTransactionObserver> observer);
    void removeTransactionObserver(const PaymentTransactionObserver* observer);

  private:
    StoreKit();
    std::shared_ptr<StoreBackend> currentBackend();

    void tellObservers(const std::vector<StoreTransaction>& updated);

    DispatchQueue queue_;
    mutable std::mutex mutex_;
    std::shared_ptr<StoreBackend> backend_;
    std::vector<std::weak_ptr<PaymentTransactionObserver>> observers_;
};

}  // namespace pex
