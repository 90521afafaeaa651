#pragma once
// The outcome of a database call: a value or the DatabaseError that prevented it.
#include <utility>
#include <variant>

#include "platform/grdb/DatabaseError.h"

namespace pex {

template <class T>
class DatabaseResult {
  public:
    DatabaseResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    DatabaseResult(DatabaseError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Asking a failed result for its value is a programming error (std::bad_variant_access).
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const DatabaseError& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, DatabaseError> state_;
};

// The result of a call that gives nothing back when it succeeds.
struct DatabaseSuccess {};
using DatabaseStatus = DatabaseResult<DatabaseSuccess>;

}  // namespace pex
