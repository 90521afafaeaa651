#pragma once
// The store backend of a machine without an online store: open transactions and the receipt
// are read from one JSON file that a test, a developer or a user writes by hand.
//
//   {
//     "receipt": "<standard Base64 of the receipt bytes>",
//     "products": [                                     optional: what can be bought
//       {"productIdentifier": "com.example.minutes60", "localizedTitle": "60 minutes",
//        "localizedPrice": "¥19.90"}
//     ],
//     "transactions": [
//       {"productIdentifier": "com.example.minutes60",   required, not empty
//        "transactionIdentifier": "1000000001",         optional
//        "state": "purchased", purchasing|purchased|failed|restored|deferred "quantity": 1,
//        optional, 1 when missing "originalTransactionIdentifier": "900",        optional, the
//        restored transaction's "needsFinish": true}                           optional, true when
//        missing
//     ]
//   }
//
// Buying a listed product appends a purchased transaction ("local-<n>") for it. Finishing a
// transaction removes its entry; everything else in the file is written back as it
// was, entries this backend cannot read included. A file that is not JSON is never rewritten:
// it reports no transactions and its receipt as undecodable until someone mends it. The file
// is read afresh for every call, so edits show at the next call.
#include <filesystem>
#include <optional>

#include "platform/storekit/StoreBackend.h"

namespace pex {

class LocalStoreBackend : public StoreBackend {
  public:
    // "<application support>/StoreKit/local-store.json", resolved at each call so that it
    // follows the standard folders.
    static std::filesystem::path defaultFile();

    // `file` absent: the default file.
    explicit LocalStoreBackend(std::optional<std::filesystem::path> file = std::nullopt);

    std::filesystem::path file() const;

    std::vector<Purchase> unfinishedTransactions() override;
    bool finishTransaction(const StoreTransaction& transaction) override;
    ReceiptResult receipt(bool refresh) override;
    std::vector<StoreProduct> products(const std::set<std::string>& identifiers) override;
    PurchaseResult purchase(const std::string& productId, int quantity) override;

  private:
    std::optional<std::filesystem::path> file_;
};

}  // namespace pex
