#pragma once
// Where the store's transactions and receipt live. StoreKit calls a backend on its own serial
// queue only, never two calls at once; implementations block freely.
#include <vector>

#include "platform/storekit/ReceiptResult.h"
#include "platform/storekit/StoreProduct.h"
#include "platform/storekit/StoreTransaction.h"

namespace pex {

class StoreBackend {
  public:
    virtual ~StoreBackend() = default;

    // Every transaction not finished yet, in the order the store keeps them. Each purchase's
    // `needsFinishTransaction` is the backend's own view (normally true); StoreKit adjusts it.
    virtual std::vector<Purchase> unfinishedTransactions() = 0;
    // Removes the transaction from the open ones; false when there is no such open transaction
    // or it could not be recorded (it then stays open).
    virtual bool finishTransaction(const StoreTransaction& transaction) = 0;
    // The application's receipt; `refresh` asks for a fresh copy rather than a cached one.
    virtual ReceiptResult receipt(bool refresh) = 0;

    // The products among `identifiers` that the store sells; a store without a catalogue
    // knows none.
    virtual std::vector<StoreProduct> products(const std::set<std::string>& identifiers) {
        (void)identifiers;
        return {};
    }
    // Buys `quantity` of a product: the new open transaction, or why there is none. A store
    // without a catalogue sells nothing.
    virtual PurchaseResult purchase(const std::string& productId, int quantity) {
        (void)productId;
        (void)quantity;
        return PurchaseResult::failure("无法连接到 App Store");
    }
};

}  // namespace pex
