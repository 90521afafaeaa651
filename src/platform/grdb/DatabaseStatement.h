#pragma once
// One prepared SQLite statement, finalized with its owner. Values reach it only through
// `bind`; its text never holds user data.
#include <string>

#include "platform/grdb/DatabaseResult.h"
#include "platform/grdb/StatementArguments.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pex {

class DatabaseStatement {
  public:
    DatabaseStatement(sqlite3* connection, sqlite3_stmt* statement, std::string sql);
    ~DatabaseStatement();
    DatabaseStatement(const DatabaseStatement&) = delete;
    DatabaseStatement& operator=(const DatabaseStatement&) = delete;

    const std::string& sql() const { return sql_; }
    sqlite3_stmt* handle() const { return statement_; }

    // Binds every placeholder; a missing or extra argument is an error, not a silent NULL.
    DatabaseStatus bind(const StatementArguments& arguments);
    // Runs the statement to its next row: true when a row is ready, false when it is done.
    DatabaseResult<bool> step();
    // Makes the statement ready for its next use and releases what it held (read locks).
    void reset();

    // The connection's current error, attributed to this statement.
    DatabaseError lastError() const;

  private:
    DatabaseStatus bindValue(int index, const DatabaseValue& value);

    sqlite3* connection_;
    sqlite3_stmt* statement_;
    std::string sql_;
};

}  // namespace pex
