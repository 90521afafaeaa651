#include "platform/grdb/DatabaseStatement.h"

#include <sqlite3.h>

namespace pex {

DatabaseStatement::DatabaseStatement(sqlite3* connection, sqlite3_stmt* statement, std::string sql)
    : connection_(connection), statement_(statement), sql_(std::move(sql)) {}

DatabaseStatement::~DatabaseStatement() {
    sqlite3_finalize(statement_);
}

DatabaseError DatabaseStatement::lastError() const {
    return DatabaseError(sqlite3_extended_errcode(connection_), sqlite3_errmsg(connection_), sql_);
}

DatabaseStatus DatabaseStatement::bindValue(int index, const DatabaseValue& value) {
    int rc = SQLITE_OK;
    if (std::holds_alternative<std::nullptr_t>(value)) {
        rc = sqlite3_bind_null(statement_, index);
    } else if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        rc = sqlite3_bind_int64(statement_, index, *integer);
    } else if (const auto* real = std::get_if<double>(&value)) {
        rc = sqlite3_bind_double(statement_, index, *real);
    } else {
        const auto& text = std::get<std::string>(value);
        rc = sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    }
    if (rc != SQLITE_OK) return lastError();
    return DatabaseSuccess{};
}

DatabaseStatus DatabaseStatement::bind(const StatementArguments& arguments) {
    const int expected = sqlite3_bind_parameter_count(statement_);
    const auto given = arguments.positional.size() + arguments.named.size();
    if (!arguments.positional.empty() && !arguments.named.empty()) {
        return DatabaseError(SQLITE_MISUSE, "positional and named arguments mixed", sql_);
    }
    if (given != static_cast<std::size_t>(expected)) {
        return DatabaseError(SQLITE_RANGE,
                             "statement expects " + std::to_string(expected) + " arguments, got " +
                                 std::to_string(given),
                             sql_);
    }
    for (std::size_t i = 0; i < arguments.positional.size(); ++i) {
        auto bound = bindValue(static_cast<int>(i) + 1, arguments.positional[i]);
        if (!bound) return bound;
    }
    for (const auto& [name, value] : arguments.named) {
        const int index = sqlite3_bind_parameter_index(statement_, (":" + name).c_str());
        if (index == 0) {
            return DatabaseError(SQLITE_RANGE, "no placeholder named :" + name, sql_);
        }
        auto bound = bindValue(index, value);
        if (!bound) return bound;
    }
    return DatabaseSuccess{};
}

DatabaseResult<bool> DatabaseStatement::step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    return lastError();
}

void DatabaseStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

}  // namespace pex
