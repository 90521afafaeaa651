#pragma once
// A second, self-contained way of completing App Store purchases: an observer of the payment
// queue that uploads the receipt of every purchased or restored transaction for its current
// order (`order_no`) and keeps its own list of unfinished records in the settings store
// ("UnfinishedIAPRecords": an array of {"order_no","product_id"}). Nothing in the application
// creates one; the pending-order store (IAPReceiptUploader) serves App Store purchases.
// Main thread only.
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/storekit/PaymentTransactionObserver.h"
#include "platform/storekit/StoreProduct.h"

namespace pex {

class IAPStoreManager : public PaymentTransactionObserver,
                        public std::enable_shared_from_this<IAPStoreManager> {
  public:
    using PurchaseCompletion = std::function<void(bool success, std::optional<std::string>)>;

    struct UnfinishedRecord {
        std::string order_no;
        std::string product_id;
        bool operator==(const UnfinishedRecord&) const = default;
    };

    // Makes a manager and adds it as an observer of the payment queue.
    static std::shared_ptr<IAPStoreManager> create();
    ~IAPStoreManager() override;

    std::vector<StoreProduct> products;
    const std::set<std::string> productIDs;
    PurchaseCompletion purchaseCompletion;
    const std::string unfinishedRecordsKey;
    std::string order_no;

    // The stored records; a stored value of another shape reads as none.
    std::vector<UnfinishedRecord> loadUnfinishedRecords() const;
    // Records an order (replacing, at the end, any record with its number); an empty order
    // number is ignored.
    void addUnfinishedRecord(const std::string& orderNo, const std::string& productId);
    // Drops the records with that number; the list is stored even when it becomes empty.
    void removeUnfinishedRecord(const std::string& orderNo);

    // The products reply: keeps the products and logs their identifiers.
    void productsRequestDidReceive(std::vector<StoreProduct> received);
    void paymentQueueUpdatedTransactions(const std::vector<StoreTransaction>& updated) override;

  private:
    IAPStoreManager();
    void storeRecords(const std::vector<UnfinishedRecord>& records);
    void uploadFor(const StoreTransaction& transaction);
};

}  // namespace pex
