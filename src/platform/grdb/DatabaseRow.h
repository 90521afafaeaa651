#pragma once
// The current row of a statement, read by column name: the decoding side of a record. A
// required value that is missing or NULL, or any value of the wrong kind, fails the decoding
// (an optional field without its column or with NULL holds nothing); the first failure is
// kept in `error()` and the values read after it are placeholders.
// Keys are the records' static key texts. The row remembers, for each position in a record's
// sequence of reads, the key's address and the column it named, so only the first row of a
// fetch looks names up.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/grdb/DatabaseError.h"

struct sqlite3_value;

namespace pex {

class DatabaseStatement;

class DatabaseRow {
  public:
    // Reads the statement's column names once; the row then follows the statement's steps.
    explicit DatabaseRow(const DatabaseStatement& statement);

    // Called when the statement has stepped to its next row, before the row is decoded.
    void beginRow() { position_ = 0; }

    std::int64_t decodeInt64(std::string_view key);
    std::optional<std::int64_t> decodeInt64IfPresent(std::string_view key);
    double decodeDouble(std::string_view key);
    std::string decodeString(std::string_view key);
    std::optional<std::string> decodeStringIfPresent(std::string_view key);

    const std::optional<DatabaseError>& error() const { return error_; }

  private:
    // The column holding `key`, or -1 when the row has none; that is an error only for a
    // `required` key, as an optional field without its column simply holds nothing.
    int column(std::string_view key, bool required = true);
    int lookUp(std::string_view key) const;
    sqlite3_value* value(int column) const;
    std::optional<std::int64_t> integerOf(sqlite3_value* value, std::string_view key);
    std::optional<std::string> textOf(sqlite3_value* value, std::string_view key);
    void fail(std::string_view key, const std::string& reason);

    const DatabaseStatement& statement_;
    std::vector<std::string> names_;
    struct KnownKey {
        const char* data;
        std::size_t size;
        int column;
    };
    std::vector<KnownKey> known_;
    std::size_t position_ = 0;
    std::optional<DatabaseError> error_;
};

}  // namespace pex
