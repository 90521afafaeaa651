#pragma once
// The outcome of one input of `Promises::any`: its value, or its error (unmapped).
#include <concepts>
#include <optional>
#include <variant>

#include "platform/foundation/Error.h"

namespace pex {

template <typename Value>
class Maybe {
  public:
    static Maybe fromValue(Value value) { return Maybe(std::in_place_index<0>, std::move(value)); }
    static Maybe fromError(ErrorRef error) {
        return Maybe(std::in_place_index<1>, std::move(error));
    }

    std::optional<Value> value() const {
        if (outcome_.index() != 0) return std::nullopt;
        return std::get<0>(outcome_);
    }
    ErrorRef error() const { return outcome_.index() == 1 ? std::get<1>(outcome_) : nullptr; }

    // Errors are equal when their domain, code and user information are; a value never
    // equals an error.
    bool operator==(const Maybe& other) const requires std::equality_comparable<Value> {
        if (outcome_.index() != other.outcome_.index()) return false;
        if (outcome_.index() == 0) return std::get<0>(outcome_) == std::get<0>(other.outcome_);
        const ErrorRef& mine = std::get<1>(outcome_);
        const ErrorRef& theirs = std::get<1>(other.outcome_);
        if (!mine || !theirs) return mine == theirs;
        return mine->domain() == theirs->domain() && mine->code() == theirs->code() &&
               mine->userInfo() == theirs->userInfo();
    }

  private:
    template <std::size_t Index, typename Payload>
    Maybe(std::in_place_index_t<Index> which, Payload payload)
        : outcome_(which, std::move(payload)) {}
    std::variant<Value, ErrorRef> outcome_;
};

}  // namespace pex
