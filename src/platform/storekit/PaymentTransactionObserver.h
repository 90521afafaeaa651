#pragma once
// Told of every transaction the payment queue changes (a purchase made through StoreKit), on
// the main queue. Observers are held weakly.
#include <vector>

#include "platform/storekit/StoreTransaction.h"

namespace pex {

class PaymentTransactionObserver {
  public:
    virtual ~PaymentTransactionObserver() = default;
    virtual void paymentQueueUpdatedTransactions(const std::vector<StoreTransaction>& updated) = 0;
};

}  // namespace pex
