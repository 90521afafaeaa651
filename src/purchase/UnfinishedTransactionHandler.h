#pragma once
// Completes App Store purchases that an earlier run left unfinished: at start-up the store
// reports its open transactions, and each purchased or restored one whose pending order is
// still stored gets its receipt uploaded again. Console lines are the only report; nothing is
// shown to the user. Everything runs on the main thread.
#include <optional>
#include <string>
#include <vector>

#include "platform/storekit/StoreTransaction.h"
#include "purchase/PendingIAPOrder.h"

namespace pex {

class UnfinishedTransactionHandler {
  public:
    // The start-up step: asks the store for its open transactions (not atomically) and hands
    // them to `handleUnfinishedTransactions` when they arrive. Returns at once.
    static void completeTransactionsAtLaunch();

    // Handles each purchase in order: only purchased and restored ones, each matched to its
    // pending order and re-uploaded; the replies are handled as they arrive. A purchase
    // without a pending order is only logged and stays open for the next start.
    static void handleUnfinishedTransactions(const std::vector<Purchase>& purchases);

    // The reply of one re-upload, settled as every receipt upload is
    // (IAPReceiptUploader::settleUpload), and logged.
    static void handleReceiptReupload(bool success, const std::optional<std::string>& message,
                                      const Purchase& purchase, const PendingIAPOrder& order);
};

}  // namespace pex
