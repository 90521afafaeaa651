#pragma once
// What the store says of its products, and the outcome of buying one.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/storekit/StoreTransaction.h"

namespace pex {

struct StoreProduct {
    std::string productIdentifier;
    std::string localizedTitle;
    std::optional<std::string> localizedPrice;  // with its currency, as the store shows it

    bool operator==(const StoreProduct&) const = default;
};

// The answer to a products request: the products the store knows, the identifiers it does
// not, or an error when it could not be asked.
struct RetrieveResults {
    std::vector<StoreProduct> retrievedProducts;
    std::set<std::string> invalidProductIDs;
    std::optional<std::string> error;
};

// A purchase made (its transaction and whether the application still has to finish it), or
// why it was not made.
struct PurchaseResult {
    std::optional<Purchase> purchase;
    std::optional<std::string> error;  // set exactly when `purchase` is absent

    static PurchaseResult success(Purchase made) { return {std::move(made), std::nullopt}; }
    static PurchaseResult failure(std::string why) { return {std::nullopt, std::move(why)}; }
};

}  // namespace pex
