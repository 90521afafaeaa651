#pragma once
// An error of the database layer: a failed SQLite call (with its extended result code and the
// statement that failed), a row that could not be decoded, or a database that is not open.
#include <string>

namespace pex {

class DatabaseError {
  public:
    // `extendedResultCode` 0 means the error did not come from SQLite itself.
    DatabaseError(int extendedResultCode, std::string message, std::string sql = {});

    static DatabaseError notOpen();

    int extendedResultCode() const { return extendedResultCode_; }
    // The primary SQLite result code (SQLITE_CONSTRAINT for a foreign-key failure, ...).
    int resultCode() const { return extendedResultCode_ & 0xff; }
    const std::string& message() const { return message_; }
    const std::string& sql() const { return sql_; }

    // The file is not a database, or its content is damaged (SQLITE_NOTADB, SQLITE_CORRUPT):
    // no retry helps, only a fresh file.
    bool isDamagedFile() const;

    // One line for the console and for callers' messages.
    std::string description() const;

  private:
    int extendedResultCode_;
    std::string message_;
    std::string sql_;
};

}  // namespace pex
