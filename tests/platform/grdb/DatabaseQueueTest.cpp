#include "platform/grdb/DatabaseQueue.h"

#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/RawSqlite.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using ::testing::HasSubstr;

struct Note {
    static constexpr std::string_view databaseTableName = "note";
    std::optional<std::int64_t> id;
    std::string text;

    void encode(PersistenceContainer& container) const {
        container.encodeIfPresent("id", id);
        container.encode("text", text);
    }
    static Note decode(DatabaseRow& row) {
        return Note{row.decodeInt64IfPresent("id"), row.decodeString("text")};
    }
};

class DatabaseQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto opened = DatabaseQueue::open(file);
        ASSERT_TRUE(opened.ok()) << opened.error().description();
        queue = std::move(opened).value();
        auto created = queue->write([](Database& db) {
            return db.execute("CREATE TABLE note (id INTEGER PRIMARY KEY, text TEXT NOT NULL)");
        });
        ASSERT_TRUE(created.ok()) << created.error().description();
    }
    std::vector<std::string> texts() {
        auto notes = queue->read(
            [](Database& db) { return db.fetchAll<Note>("SELECT * FROM note ORDER BY id"); });
        EXPECT_TRUE(notes.ok());
        std::vector<std::string> result;
        if (notes.ok()) {
            for (const auto& note : notes.value()) result.push_back(note.text);
        }
        return result;
    }

    test::TempDir dir;
    std::filesystem::path file = dir.path() / "notes.sqlite";
    std::unique_ptr<DatabaseQueue> queue;
};

TEST_F(DatabaseQueueTest, AFailedWriteLeavesTheFileAsItWas) {
    ASSERT_TRUE(queue->write([](Database& db) { return db.insert(Note{{}, "kept"}); }).ok());
    auto failed = queue->write([](Database& db) -> DatabaseStatus {
        if (auto s = db.insert(Note{{}, "rolled back"}); !s) return s;
        return db.insert(Note{1, "duplicate id"});  // ABORT: the whole transaction goes
    });
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().resultCode(), 19);  // SQLITE_CONSTRAINT
    EXPECT_THAT(texts(), ::testing::ElementsAre("kept"));
    // The connection is usable again afterwards.
    ASSERT_TRUE(queue->write([](Database& db) { return db.insert(Note{{}, "next"}); }).ok());
    EXPECT_THAT(texts(), ::testing::ElementsAre("kept", "next"));
}

TEST_F(DatabaseQueueTest, ValuesAreBoundNeverSplicedIn) {
    const std::string hostile = "x'); DROP TABLE note; --";
    ASSERT_TRUE(queue
                    ->write([&](Database& db) {
                        return db.execute("INSERT INTO note (text) VALUES (:text)",
                                          StatementArguments::withNames({{"text", hostile}}));
                    })
                    .ok());
    EXPECT_THAT(texts(), ::testing::ElementsAre(hostile));
    test::RawSqlite raw(file);
    EXPECT_EQ(raw.single("SELECT text FROM note"), hostile);
}

TEST_F(DatabaseQueueTest, ArgumentsMustMatchThePlaceholders) {
    struct Case {
        std::string sql;
        StatementArguments arguments;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"INSERT INTO note (text) VALUES (?)", {}, "expects 1 arguments, got 0"},
        {"INSERT INTO note (text) VALUES (?)", {"a", "b"}, "expects 1 arguments, got 2"},
        {"INSERT INTO note (text) VALUES (:text)", StatementArguments::withNames({{"txt", "a"}}),
         "no placeholder named :txt"},
        {"INSERT INTO note (text) VALUES ('a'); DELETE FROM note", {}, "exactly one statement"},
        {"INSERT INTO absent_table (text) VALUES (?)", {"a"}, "no such table: absent_table"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        auto result = queue->write([&](Database& db) { return db.execute(c.sql, c.arguments); });
        ASSERT_FALSE(result.ok());
        EXPECT_THAT(result.error().description(), HasSubstr(c.error));
    }
    EXPECT_TRUE(texts().empty());
}

TEST(DatabaseQueueOpeningTest, AFileThatIsNotADatabaseFailsToOpen) {
    test::TempDir dir;
    const auto file = dir.path() / "garbage.sqlite";
    std::ofstream(file) << std::string(4096, 'x');
    auto opened = DatabaseQueue::open(file);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().resultCode(), 26);  // SQLITE_NOTADB
    EXPECT_EQ(DatabaseQueue::open(dir.path() / "missing" / "a.sqlite").ok(), false);
}

}  // namespace
}  // namespace pex
