#include "platform/grdb/DatabaseRow.h"

#include <cassert>
#include <cmath>

#include <sqlite3.h>

#include "platform/grdb/DatabaseStatement.h"

namespace pex {

namespace {

constexpr const char* kNullRequired = "NULL where a value is required";

}  // namespace

DatabaseRow::DatabaseRow(const DatabaseStatement& statement) : statement_(statement) {
    const int count = sqlite3_column_count(statement.handle());
    names_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(statement.handle(), i);
        names_.emplace_back(name ? name : "");
    }
}

void DatabaseRow::fail(std::string_view key, const std::string& reason) {
    if (error_) return;
    error_ = DatabaseError(0, "cannot decode column \"" + std::string(key) + "\": " + reason,
                           statement_.sql());
}

int DatabaseRow::lookUp(std::string_view key) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == key) return static_cast<int>(i);
    }
    return -1;
}

int DatabaseRow::column(std::string_view key, bool required) {
    int found;
    if (position_ < known_.size() && known_[position_].data == key.data() &&
        known_[position_].size == key.size()) {
        found = known_[position_].column;
        assert(found == lookUp(key) && "decoding keys must be static texts");
    } else {
        found = lookUp(key);
        const KnownKey entry{key.data(), key.size(), found};
        if (position_ < known_.size()) {
            known_[position_] = entry;
        } else {
            known_.push_back(entry);
        }
    }
    ++position_;
    if (found < 0 && required) fail(key, "no such column");
    return found;
}

// Each field is read through one sqlite3_value: the statement is only ever used by the caller
// holding the database queue, so the value needs no protection of its own.
sqlite3_value* DatabaseRow::value(int column) const {
    return sqlite3_column_value(statement_.handle(), column);
}

std::optional<std::int64_t> DatabaseRow::integerOf(sqlite3_value* value, std::string_view key) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            return sqlite3_value_int64(value);
        case SQLITE_FLOAT: {
            // A whole number stored as REAL is still that number; anything else is not an integer.
            const double real = sqlite3_value_double(value);
            if (std::trunc(real) == real && real >= -9223372036854775808.0 &&
                real < 9223372036854775808.0) {
                return static_cast<std::int64_t>(real);
            }
            break;
        }
        case SQLITE_NULL:
            fail(key, kNullRequired);
            return std::nullopt;
        default:
            break;
    }
    fail(key, "not an integer");
    return std::nullopt;
}

std::optional<std::string> DatabaseRow::textOf(sqlite3_value* value, std::string_view key) {
    const int type = sqlite3_value_type(value);
    if (type != SQLITE_TEXT) {
        fail(key, type == SQLITE_NULL ? kNullRequired : "not text");
        return std::nullopt;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    const int size = sqlite3_value_bytes(value);
    return std::string(text ? text : "", static_cast<std::size_t>(size));
}

std::optional<std::int64_t> DatabaseRow::decodeInt64IfPresent(std::string_view key) {
    const int index = column(key, /*required=*/false);
    if (index < 0) return std::nullopt;
    sqlite3_value* v = value(index);
    if (sqlite3_value_type(v) == SQLITE_NULL) return std::nullopt;
    return integerOf(v, key);
}

std::int64_t DatabaseRow::decodeInt64(std::string_view key) {
    const int index = column(key);
    if (index < 0) return 0;
    return integerOf(value(index), key).value_or(0);
}

double DatabaseRow::decodeDouble(std::string_view key) {
    const int index = column(key);
    if (index < 0) return 0;
    sqlite3_value* v = value(index);
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_value_double(v);
    fail(key, type == SQLITE_NULL ? kNullRequired : "not a number");
    return 0;
}

std::optional<std::string> DatabaseRow::decodeStringIfPresent(std::string_view key) {
    const int index = column(key, /*required=*/false);
    if (index < 0) return std::nullopt;
    sqlite3_value* v = value(index);
    if (sqlite3_value_type(v) == SQLITE_NULL) return std::nullopt;
    return textOf(v, key);
}

std::string DatabaseRow::decodeString(std::string_view key) {
    const int index = column(key);
    if (index < 0) return {};
    return textOf(value(index), key).value_or(std::string());
}

}  // namespace pex
