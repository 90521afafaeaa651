#include "platform/grdb/DatabaseError.h"

#include <sqlite3.h>

namespace pex {

DatabaseError::DatabaseError(int extendedResultCode, std::string message, std::string sql)
    : extendedResultCode_(extendedResultCode), message_(std::move(message)), sql_(std::move(sql)) {}

DatabaseError DatabaseError::notOpen() {
    return DatabaseError(0, "database is not open");
}

bool DatabaseError::isDamagedFile() const {
    return resultCode() == SQLITE_NOTADB || resultCode() == SQLITE_CORRUPT;
}

std::string DatabaseError::description() const {
    std::string text;
    if (extendedResultCode_ != 0) {
        text = "SQLite error " + std::to_string(extendedResultCode_) + " (" + message_ + ")";
    } else {
        text = message_;
    }
    if (!sql_.empty()) {
        // Statements only ever carry placeholders, so the text holds no user data.
        std::string oneLine = sql_;
        for (char& c : oneLine) {
            if (c == '\n') c = ' ';
        }
        text += " in: " + oneLine;
    }
    return text;
}

}  // namespace pex
