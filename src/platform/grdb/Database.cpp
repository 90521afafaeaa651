#include "platform/grdb/Database.h"

#include <cctype>

#include <sqlite3.h>

namespace pex {

namespace {

// Resets a statement when its use ends, however it ends, so it holds no lock afterwards.
class StatementUse {
  public:
    explicit StatementUse(DatabaseStatement& statement) : statement_(statement) {}
    ~StatementUse() { statement_.reset(); }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

  private:
    DatabaseStatement& statement_;
};

bool onlyWhitespace(const char* text) {
    for (; text && *text; ++text) {
        if (!std::isspace(static_cast<unsigned char>(*text))) return false;
    }
    return true;
}

// Identifiers come from the records' own key texts, never from users; quoting keeps names
// such as "time" unambiguous.
std::string quoted(std::string_view identifier) {
    std::string text = "\"";
    for (char c : identifier) {
        if (c == '"') text += '"';
        text += c;
    }
    return text + "\"";
}

}  // namespace

Database::Database(sqlite3* connection) : connection_(connection) {}

Database::~Database() {
    statements_.clear();  // statements must be finalized before the connection closes
    sqlite3_close(connection_);
}

DatabaseResult<std::unique_ptr<Database>> Database::open(
    const std::filesystem::path& path, const DatabaseConfiguration& configuration) {
    sqlite3* connection = nullptr;
    const int rc = sqlite3_open_v2(
        path.c_str(), &connection,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
        nullptr);
    if (rc != SQLITE_OK) {
        DatabaseError error(connection ? sqlite3_extended_errcode(connection) : rc,
                            connection ? sqlite3_errmsg(connection) : sqlite3_errstr(rc));
        sqlite3_close(connection);
        return DatabaseError(error.extendedResultCode(), error.message() + " at " + path.string());
    }
    std::unique_ptr<Database> database(new Database(connection));
    if (configuration.foreignKeysEnabled) {
        auto enabled = database->execute("PRAGMA foreign_keys = ON");
        if (!enabled) return enabled.error();
    }
    if (configuration.writeAheadLogging) {
        // Also the first read of the file: a file that is not a database fails here.
        auto wal = database->exists("PRAGMA journal_mode = WAL");
        if (!wal) return wal.error();
        auto synchronous = database->execute("PRAGMA synchronous = NORMAL");
        if (!synchronous) return synchronous.error();
    }
    return database;
}

DatabaseResult<DatabaseStatement*> Database::cachedStatement(std::string_view sql) {
    std::string key(sql);
    if (auto found = statements_.find(key); found != statements_.end()) {
        return found->second.get();
    }
    sqlite3_stmt* handle = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(connection_, key.c_str(), static_cast<int>(key.size() + 1),
                                      SQLITE_PREPARE_PERSISTENT, &handle, &tail);
    if (rc != SQLITE_OK) {
        return DatabaseError(sqlite3_extended_errcode(connection_), sqlite3_errmsg(connection_),
                             key);
    }
    auto statement = std::make_unique<DatabaseStatement>(connection_, handle, key);
    if (handle == nullptr || !onlyWhitespace(tail)) {
        return DatabaseError(SQLITE_MISUSE, "expected exactly one statement", key);
    }
    DatabaseStatement* result = statement.get();
    statements_.emplace(std::move(key), std::move(statement));
    return result;
}

DatabaseStatus Database::forEachRow(std::string_view sql, const StatementArguments& arguments,
                                    const std::function<bool(DatabaseRow&)>& onRow) {
    auto prepared = cachedStatement(sql);
    if (!prepared) return prepared.error();
    DatabaseStatement& statement = *prepared.value();
    StatementUse use(statement);
    if (auto bound = statement.bind(arguments); !bound) return bound;
    DatabaseRow row(statement);
    while (true) {
        auto stepped = statement.step();
        if (!stepped) return stepped.error();
        if (!stepped.value()) return DatabaseSuccess{};
        row.beginRow();
        if (!onRow(row)) {
            if (row.error()) return *row.error();
            return DatabaseSuccess{};
        }
    }
}

DatabaseStatus Database::execute(std::string_view sql, const StatementArguments& arguments) {
    return forEachRow(sql, arguments, [](DatabaseRow&) { return true; });
}

DatabaseResult<bool> Database::exists(std::string_view sql, const StatementArguments& arguments) {
    bool found = false;
    auto status = forEachRow(sql, arguments, [&found](DatabaseRow&) {
        found = true;
        return false;
    });
    if (!status) return status.error();
    return found;
}

DatabaseStatus Database::insertRow(std::string_view table, const PersistenceContainer& container) {
    std::string columns;
    std::string placeholders;
    StatementArguments arguments;
    for (const auto& [key, value] : container.columns()) {
        if (!columns.empty()) {
            columns += ", ";
            placeholders += ", ";
        }
        columns += quoted(key);
        placeholders += "?";
        arguments.positional.push_back(value);
    }
    const std::string sql =
        "INSERT INTO " + quoted(table) + " (" + columns + ") VALUES (" + placeholders + ")";
    return execute(sql, arguments);
}

std::int64_t Database::lastInsertedRowID() const {
    return sqlite3_last_insert_rowid(connection_);
}

std::int64_t Database::changesCount() const {
    return sqlite3_changes64(connection_);
}

bool Database::isInsideTransaction() const {
    return sqlite3_get_autocommit(connection_) == 0;
}

}  // namespace pex
