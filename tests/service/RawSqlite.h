#pragma once
// A connection of its own on a database file, for tests that look at the file as SQLite sees
// it, independently of the code under test.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace pex::test {

class RawSqlite {
  public:
    explicit RawSqlite(const std::filesystem::path& file) {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db_);
        }
    }
    ~RawSqlite() { sqlite3_close(db_); }
    RawSqlite(const RawSqlite&) = delete;
    RawSqlite& operator=(const RawSqlite&) = delete;

    // Every row as texts; NULL reads as "<null>".
    std::vector<std::vector<std::string>> query(const std::string& sql) {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
            return rows;
        }
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = sqlite3_column_text(statement, i);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "<null>");
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
        sqlite3_finalize(statement);
        return rows;
    }

    std::string single(const std::string& sql) {
        auto rows = query(sql);
        if (rows.size() != 1 || rows[0].size() != 1) {
            ADD_FAILURE() << sql << " gave " << rows.size() << " rows";
            return {};
        }
        return rows[0][0];
    }

    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << (message ? message : "");
        }
        sqlite3_free(message);
    }

  private:
    sqlite3* db_ = nullptr;
};

}  // namespace pex::test
