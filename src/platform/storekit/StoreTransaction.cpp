#include "platform/storekit/StoreTransaction.h"

#include <array>
#include <utility>

namespace pex {

namespace {

constexpr std::array<std::pair<TransactionState, const char*>, 5> kNames{{
    {TransactionState::purchasing, "purchasing"},
    {TransactionState::purchased, "purchased"},
    {TransactionState::failed, "failed"},
    {TransactionState::restored, "restored"},
    {TransactionState::deferred, "deferred"},
}};

}  // namespace

const char* transactionStateName(TransactionState state) {
    for (const auto& [value, name] : kNames) {
        if (value == state) return name;
    }
    return "purchasing";
}

std::optional<TransactionState> transactionStateNamed(const std::string& name) {
    for (const auto& [value, text] : kNames) {
        if (name == text) return value;
    }
    return std::nullopt;
}

}  // namespace pex
