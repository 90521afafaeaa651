#pragma once
// A store backend held in memory, for tests: seed open transactions and a receipt (or a
// receipt failure), then look at what was finished and how often the receipt was fetched.
// Safe to inspect from the test's thread while StoreKit's queue uses it.
#include <mutex>
#include <vector>

#include "platform/storekit/StoreBackend.h"

namespace pex {

class InMemoryStoreBackend : public StoreBackend {
  public:
    void addTransaction(Purchase purchase);
    void setReceipt(ReceiptResult result);
    // The catalogue: purchases of these products succeed (a new open transaction "T1", "T2",
    // ...); others fail.
    void setProducts(std::vector<StoreProduct> products);

    std::vector<StoreTransaction> finishedTransactions() const;
    struct ReceiptFetch {
        bool refresh = false;
    };
    std::vector<ReceiptFetch> receiptFetches() const;

    std::vector<Purchase> unfinishedTransactions() override;
    bool finishTransaction(const StoreTransaction& transaction) override;
    ReceiptResult receipt(bool refresh) override;
    std::vector<StoreProduct> products(const std::set<std::string>& identifiers) override;
    PurchaseResult purchase(const std::string& productId, int quantity) override;

  private:
    mutable std::mutex mutex_;
    std::vector<Purchase> open_;
    std::vector<StoreTransaction> finished_;
    std::vector<ReceiptFetch> fetches_;
    ReceiptResult receipt_ = ReceiptResult::failure(ReceiptError::Kind::noReceiptData);
    std::vector<StoreProduct> products_;
    int purchases_ = 0;
};

}  // namespace pex
