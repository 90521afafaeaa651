#pragma once
// One open SQLite connection. Statements are prepared once and kept; every value is bound.
// Not safe to share between threads on its own: DatabaseQueue hands it to one caller at a time.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/grdb/DatabaseConfiguration.h"
#include "platform/grdb/DatabaseResult.h"
#include "platform/grdb/DatabaseRow.h"
#include "platform/grdb/DatabaseStatement.h"
#include "platform/grdb/PersistenceContainer.h"
#include "platform/grdb/StatementArguments.h"

struct sqlite3;

namespace pex {

class Database {
  public:
    // Opens (creating when missing) the file read-write and applies the configuration.
    static DatabaseResult<std::unique_ptr<Database>> open(
        const std::filesystem::path& path, const DatabaseConfiguration& configuration);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs one statement to its end, ignoring any rows it gives.
    DatabaseStatus execute(std::string_view sql, const StatementArguments& arguments = {});
    // True when the query gives at least one row.
    DatabaseResult<bool> exists(std::string_view sql, const StatementArguments& arguments = {});

    // Inserts the record as one row of its table (ABORT on conflict); the record is not told
    // the new row id, which `lastInsertedRowID` gives.
    template <class Record>
    DatabaseStatus insert(const Record& record) {
        PersistenceContainer container;
        record.encode(container);
        return insertRow(Record::databaseTableName, container);
    }

    // Every row of the query, each decoded into a Record by column name. One row that cannot be
    // decoded fails the whole fetch.
    template <class Record>
    DatabaseResult<std::vector<Record>> fetchAll(std::string_view sql,
                                                 const StatementArguments& arguments = {}) {
        std::vector<Record> records;
        auto status = forEachRow(sql, arguments, [&records](DatabaseRow& row) {
            Record record = Record::decode(row);
            if (row.error()) return false;
            records.push_back(std::move(record));
            return true;
        });
        if (!status) return status.error();
        return records;
    }

    std::int64_t lastInsertedRowID() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    std::int64_t changesCount() const;
    bool isInsideTransaction() const;

  private:
    explicit Database(sqlite3* connection);

    DatabaseResult<DatabaseStatement*> cachedStatement(std::string_view sql);
    // Steps through the rows, calling `onRow` for each until it returns false. A false from
    // `onRow` must leave the reason in the row's error, which then fails the call.
    DatabaseStatus forEachRow(std::string_view sql, const StatementArguments& arguments,
                              const std::function<bool(DatabaseRow&)>& onRow);
    DatabaseStatus insertRow(std::string_view table, const PersistenceContainer& container);

    sqlite3* connection_;
    std::unordered_map<std::string, std::unique_ptr<DatabaseStatement>> statements_;
};

}  // namespace pex
