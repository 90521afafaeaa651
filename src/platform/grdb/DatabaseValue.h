#pragma once
// One SQLite value as bound to a statement: NULL, a 64-bit integer, a double or UTF-8 text.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace pex {

using DatabaseValue = std::variant<std::nullptr_t, std::int64_t, double, std::string>;

// An absent optional binds as NULL.
template <class T>
DatabaseValue databaseValue(const std::optional<T>& value) {
    if (!value) return nullptr;
    return DatabaseValue(*value);
}

}  // namespace pex
