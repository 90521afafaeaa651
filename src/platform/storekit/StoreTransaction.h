#pragma once
// A payment transaction as the store reports it, and the purchase record that the completion of
// unfinished transactions hands to the application.
#include <optional>
#include <string>

namespace pex {

// The store's transaction states, with the store's numbering (purchased 1, restored 3).
enum class TransactionState {
    purchasing = 0,
    purchased = 1,
    failed = 2,
    restored = 3,
    deferred = 4
};

// "purchasing", "purchased", "failed", "restored", "deferred".
const char* transactionStateName(TransactionState state);
std::optional<TransactionState> transactionStateNamed(const std::string& name);

struct StoreTransaction {
    // Given by the store once the payment went through; absent while purchasing or deferred.
    std::optional<std::string> transactionIdentifier;
    TransactionState transactionState = TransactionState::purchasing;
    std::string productIdentifier;

    bool operator==(const StoreTransaction&) const = default;
};

struct Purchase {
    std::string productId;
    int quantity = 1;
    StoreTransaction transaction;
    // The transaction a restored transaction restores.
    std::optional<StoreTransaction> originalTransaction;
    // True when the application still has to finish the transaction (see StoreKit.h).
    bool needsFinishTransaction = false;

    bool operator==(const Purchase&) const = default;
};

}  // namespace pex
