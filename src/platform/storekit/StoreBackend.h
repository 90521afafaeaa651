#pragma once
// Where the store's transactions and receipt live. StoreKit calls a backend on its own serial
// queue only, never two calls at once; implementations block freely.
#include <vector>

#include "platform/storekit/ReceiptResult.h"
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
};

}  // namespace pex
