#include "service/GRDBDataManager.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <limits>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/StandardFolders.h"
#include "service/RawSqlite.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Rows = std::vector<std::vector<std::string>>;

std::string consoleOf(const std::function<void()>& work) {
    ::testing::internal::CaptureStdout();
    work();
    return ::testing::internal::GetCapturedStdout();
}

HistoryRecord interview(std::optional<std::int64_t> id, double timeStr,
                        std::optional<std::string> name = "AI面试240305_070809") {
    return HistoryRecord{
        id,   "AI面试240305_070809", timeStr, "AI面试240305_070809", "中文", "English", 1, 0,
        name, "2024-03-05 07:08:09"};
}

TranslationDetailRecord line(std::int64_t historyId, double timeStr, std::string text,
                             std::int64_t streamID = 0) {
    return TranslationDetailRecord{.historyId = historyId,
                                   .time = "2024-03-05 07:08:10",
                                   .timeStr = timeStr,
                                   .sourceText = std::move(text),
                                   .resultText = "",
                                   .sourceColor = "#f9f9f9",
                                   .resultColor = "#f9f9f9",
                                   .streamID = streamID,
                                   .aiResultText = "",
                                   .startTime = 0,
                                   .endTime = 0};
}

AIResponseDetailRecord answer(std::int64_t historyId, double timeStr, std::string question) {
    return AIResponseDetailRecord{.historyId = historyId,
                                  .time = "2024-03-05 07:08:11",
                                  .timeStr = timeStr,
                                  .aiQuestionText = std::move(question),
                                  .aiResultText = "回答"};
}

template <class Record>
std::vector<std::int64_t> idsOf(const std::vector<Record>& records) {
    std::vector<std::int64_t> ids;
    for (const auto& record : records) ids.push_back(record.id.value_or(-1));
    return ids;
}

std::vector<std::string> sourceTexts(const std::vector<TranslationDetailRecord>& lines) {
    std::vector<std::string> texts;
    for (const auto& l : lines) texts.push_back(l.sourceText);
    return texts;
}

// A value the manager's own connection reports, read through its queue.
struct PragmaValue {
    std::int64_t value = 0;
    static PragmaValue decode(DatabaseRow& row) { return {row.decodeInt64(column)}; }
    static inline std::string column;
};

class GRDBDataManagerTest : public test::IsolatedTest {
  protected:
    fs::path documents() const { return StandardFolders::documents(); }
    fs::path databaseFile() const { return documents() / "GRDB" / "history.sqlite"; }
    std::unique_ptr<GRDBDataManager> open() {
        return std::make_unique<GRDBDataManager>(documents());
    }
    std::int64_t pragma(GRDBDataManager& manager, const std::string& name) {
        PragmaValue::column = name;
        auto rows = manager.dbQueue()->read(
            [&](Database& db) { return db.fetchAll<PragmaValue>("PRAGMA " + name); });
        EXPECT_TRUE(rows.ok() && rows.value().size() == 1);
        return rows.ok() && !rows.value().empty() ? rows.value()[0].value : -1;
    }
};

TEST_F(GRDBDataManagerTest, FirstStartCreatesTheFileTablesAndIndexes) {
    std::unique_ptr<GRDBDataManager> manager;
    const std::string console = consoleOf([&] { manager = open(); });
    EXPECT_EQ(console, "数据库路径：" + databaseFile().string() + "\n");
    ASSERT_NE(manager->dbQueue(), nullptr);
    EXPECT_TRUE(fs::is_regular_file(databaseFile()));
    EXPECT_EQ(pragma(*manager, "foreign_keys"), 1);
    EXPECT_EQ(pragma(*manager, "synchronous"), 1);  // NORMAL

    test::RawSqlite raw(databaseFile());
    EXPECT_EQ(raw.single("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(raw.query("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid"),
              (Rows{{"historyRecord"}, {"translationDetailRecord"}, {"aiResponseDetailRecord"}}));

    // name, type, not null, default, primary key
    const std::string columns =
        "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info";
    EXPECT_EQ(raw.query(columns + "('historyRecord')"),
              (Rows{{"id", "INTEGER", "0", "<null>", "1"},
                    {"title", "TEXT", "1", "<null>", "0"},
                    {"timeStr", "DOUBLE", "1", "<null>", "0"},
                    {"audioFileName", "TEXT", "1", "<null>", "0"},
                    {"sourceLanguage", "TEXT", "0", "<null>", "0"},
                    {"resultLanguage", "TEXT", "0", "<null>", "0"},
                    {"modelType", "INTEGER", "1", "<null>", "0"},
                    {"antoAnswerType", "INTEGER", "1", "<null>", "0"},
                    {"historyFileName", "TEXT", "0", "<null>", "0"},
                    {"time", "TEXT", "1", "<null>", "0"}}));
    EXPECT_EQ(raw.query(columns + "('translationDetailRecord')"),
              (Rows{{"id", "INTEGER", "0", "<null>", "1"},
                    {"historyId", "INTEGER", "1", "<null>", "0"},
                    {"time", "TEXT", "1", "<null>", "0"},
                    {"timeStr", "DOUBLE", "1", "<null>", "0"},
                    {"sourceText", "TEXT", "1", "<null>", "0"},
                    {"resultText", "TEXT", "1", "<null>", "0"},
                    {"sourceColor", "TEXT", "1", "<null>", "0"},
                    {"resultColor", "TEXT", "1", "<null>", "0"},
                    {"streamID", "INTEGER", "1", "<null>", "0"},
                    {"aiResultText", "TEXT", "1", "''", "0"},
                    {"startTime", "INTEGER", "1", "<null>", "0"},
                    {"endTime", "INTEGER", "1", "<null>", "0"}}));
    EXPECT_EQ(raw.query(columns + "('aiResponseDetailRecord')"),
              (Rows{{"id", "INTEGER", "0", "<null>", "1"},
                    {"historyId", "INTEGER", "1", "<null>", "0"},
                    {"time", "TEXT", "1", "<null>", "0"},
                    {"timeStr", "DOUBLE", "1", "<null>", "0"},
                    {"aiQuestionText", "TEXT", "1", "<null>", "0"},
                    {"aiResultText", "TEXT", "1", "<null>", "0"}}));

    for (const std::string table : {"translationDetailRecord", "aiResponseDetailRecord"}) {
        SCOPED_TRACE(table);
        EXPECT_EQ(raw.query("SELECT \"table\", \"from\", \"to\", on_update, on_delete, \"match\" "
                            "FROM pragma_foreign_key_list('" +
                            table + "')"),
                  (Rows{{"historyRecord", "historyId", "id", "NO ACTION", "CASCADE", "NONE"}}));
        EXPECT_THAT(raw.single("SELECT sql FROM sqlite_master WHERE name = '" + table + "'"),
                    ::testing::Not(HasSubstr("DEFERRABLE")));
    }
    // Plain, non-unique indexes on historyId, and the one that serves the answer update.
    const std::string indexes =
        "SELECT l.name, l.\"unique\", group_concat(i.name, ',') FROM pragma_index_list(?) l, "
        "pragma_index_info(l.name) i WHERE l.origin = 'c' GROUP BY l.name ORDER BY l.name";
    auto indexesOf = [&](const std::string& table) {
        std::string sql = indexes;
        sql.replace(sql.find('?'), 1, "'" + table + "'");
        return raw.query(sql);
    };
    EXPECT_EQ(indexesOf("translationDetailRecord"),
              (Rows{{"translationDetailRecord_historyId", "0", "historyId"},
                    {"translationDetailRecord_historyId_streamID", "0", "historyId,streamID"}}));
    EXPECT_EQ(indexesOf("aiResponseDetailRecord"),
              (Rows{{"aiResponseDetailRecord_historyId", "0", "historyId"}}));
    EXPECT_EQ(indexesOf("historyRecord"), Rows{});
    // No AUTOINCREMENT anywhere.
    EXPECT_EQ(raw.single("SELECT count(*) FROM sqlite_master WHERE name = 'sqlite_sequence'"), "0");
}

// The history is private to the user, whatever the Documents folder's mode, on first start and
// for a folder and file an earlier version left readable by others.
TEST_F(GRDBDataManagerTest, TheDatabaseAndItsFolderArePrivate) {
    const auto mode = [](const fs::path& path) {
        return fs::status(path).permissions() & fs::perms::all;
    };
    const fs::perms privateFile = fs::perms::owner_read | fs::perms::owner_write;
    fs::create_directories(documents());
    fs::permissions(documents(), fs::perms::all);  // 0777
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "left readable by an earlier run" : "first start");
        if (existing) {
            fs::permissions(databaseFile().parent_path(),
                            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
            fs::permissions(databaseFile(),
                            privateFile | fs::perms::group_read | fs::perms::others_read);
        }
        auto manager = open();
        ASSERT_NE(manager->dbQueue(), nullptr);
        manager->insertHistory(HistoryRecord{});
        EXPECT_EQ(mode(databaseFile().parent_path()), fs::perms::owner_all);
        EXPECT_EQ(mode(databaseFile()), privateFile);
        for (const char* suffix : {"-wal", "-shm"}) {
            const fs::path companion = databaseFile().string() + suffix;
            if (fs::exists(companion)) {
                EXPECT_EQ(mode(companion), privateFile) << suffix;
            }
        }
    }
}

TEST_F(GRDBDataManagerTest, TheSharedInstanceIsMadeOnceInTheStandardDocumentsFolder) {
    GRDBDataManager* seen[2] = {};
    consoleOf([&] {
        std::thread other([&] { seen[1] = &GRDBDataManager::shared(); });
        seen[0] = &GRDBDataManager::shared();
        other.join();
    });
    EXPECT_EQ(seen[0], seen[1]);
    ASSERT_NE(seen[0]->dbQueue(), nullptr);
    EXPECT_EQ(seen[0]->dbQueue()->path(), databaseFile());
}

TEST_F(GRDBDataManagerTest, ReopeningKeepsEveryRowAndChangesNoTable) {
    std::string schemaBefore;
    {
        auto manager = open();
        ASSERT_EQ(manager->insertHistory(interview(1700000000, 1700000000.5)), 1700000000);
        manager->insertTranslationDetail(line(1700000000, 1700000001.0, "你好"));
        manager->insertAIResponseDetail(answer(1700000000, 1700000002.0, "问题"));
        test::RawSqlite raw(databaseFile());
        schemaBefore = raw.query("SELECT group_concat(sql, ';') FROM sqlite_master")[0][0];
    }
    auto manager = open();
    EXPECT_EQ(manager->fetchAllHistory(), (std::vector{interview(1700000000, 1700000000.5)}));
    ASSERT_EQ(manager->fetchTranslationDetails(1700000000).size(), 1u);
    EXPECT_EQ(manager->fetchTranslationDetails(1700000000)[0].sourceText, "你好");
    ASSERT_EQ(manager->fetchAIResponseDetails(1700000000).size(), 1u);
    EXPECT_EQ(manager->fetchAIResponseDetails(1700000000)[0].aiQuestionText, "问题");
    test::RawSqlite raw(databaseFile());
    EXPECT_EQ(raw.query("SELECT group_concat(sql, ';') FROM sqlite_master")[0][0], schemaBefore);
}

TEST_F(GRDBDataManagerTest, RecordsRoundTripWithAbsentOptionalsStoredAsNull) {
    auto manager = open();
    HistoryRecord bare = interview(42, 10.25, std::nullopt);
    bare.sourceLanguage = std::nullopt;
    bare.resultLanguage = std::nullopt;
    ASSERT_EQ(manager->insertHistory(bare), 42);
    TranslationDetailRecord full = line(42, 11.5, "句子", 9);
    full.resultText = "sentence";
    full.startTime = 1200;
    full.endTime = 0;
    manager->insertTranslationDetail(full);

    test::RawSqlite raw(databaseFile());
    EXPECT_EQ(
        raw.query("SELECT sourceLanguage, resultLanguage, historyFileName FROM historyRecord"),
        (Rows{{"<null>", "<null>", "<null>"}}));
    EXPECT_EQ(manager->fetchAllHistory(), std::vector{bare});
    const auto lines = manager->fetchTranslationDetails(42);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].id.has_value());  // assigned by SQLite, learnt only from the read
    full.id = lines[0].id;
    EXPECT_EQ(lines[0], full);
}

TEST_F(GRDBDataManagerTest, InsertHistoryReturnsTheIdTheRowGot) {
    auto manager = open();
    std::string console =
        consoleOf([&] { EXPECT_EQ(manager->insertHistory(interview(100, 1)), 100); });
    EXPECT_EQ(console, "插入一条 主表 成功\n");
    // Interviews started within the same second: each gets the next free id and still starts.
    ASSERT_EQ(manager->insertHistory(interview(102, 2)), 102);
    EXPECT_EQ(manager->insertHistory(interview(100, 3)), 101);
    EXPECT_EQ(manager->insertHistory(interview(100, 4)), 103);
    // Without an id SQLite chooses one, and the caller learns it.
    const auto assigned = manager->insertHistory(interview(std::nullopt, 5));
    EXPECT_EQ(assigned, 104);
    EXPECT_THAT(idsOf(manager->fetchAllHistory()), ElementsAre(104, 103, 101, 102, 100));

    // Even the largest id, when taken, leaves the interview an id of its own.
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    ASSERT_EQ(manager->insertHistory(interview(kMax, 6)), kMax);
    const auto another = manager->insertHistory(interview(kMax, 7));
    ASSERT_TRUE(another.has_value());
    EXPECT_NE(*another, kMax);
    EXPECT_EQ(manager->fetchAllHistory().size(), 7u);
}

TEST_F(GRDBDataManagerTest, DetailRowsForAMissingInterviewAreRefused) {
    auto manager = open();
    std::string console = consoleOf([&] {
        manager->insertTranslationDetail(line(999, 1, "孤儿"));
        manager->insertAIResponseDetail(answer(999, 1, "孤儿"));
    });
    EXPECT_THAT(console, StartsWith("插入 翻译 记录失败：SQLite error 787 (FOREIGN KEY"));
    EXPECT_THAT(console, HasSubstr("\n插入 AI 记录失败：SQLite error 787 (FOREIGN KEY"));
    EXPECT_EQ(std::count(console.begin(), console.end(), '\n'), 2);
    test::RawSqlite raw(databaseFile());
    EXPECT_EQ(raw.single("SELECT (SELECT count(*) FROM translationDetailRecord) + "
                         "(SELECT count(*) FROM aiResponseDetailRecord)"),
              "0");

    manager->insertHistory(interview(999, 1));
    console = consoleOf([&] {
        manager->insertTranslationDetail(line(999, 1, "有主"));
        manager->insertAIResponseDetail(answer(999, 1, "有主"));
    });
    EXPECT_EQ(console, "插入一条 翻译 记录成功\n插入一条 AI 记录成功\n");
}

TEST_F(GRDBDataManagerTest, DeletingAnInterviewTakesItsLinesAndAnswersWithIt) {
    auto manager = open();
    for (std::int64_t id : {1, 2, 3}) {
        manager->insertHistory(interview(id, static_cast<double>(id)));
        manager->insertTranslationDetail(line(id, 1, "line"));
        manager->insertTranslationDetail(line(id, 2, "line"));
        manager->insertAIResponseDetail(answer(id, 3, "q"));
    }
    auto remaining = manager->deleteHistory(2);
    ASSERT_TRUE(remaining.ok());
    EXPECT_THAT(idsOf(remaining.value()), ElementsAre(3, 1));
    EXPECT_TRUE(manager->fetchTranslationDetails(2).empty());
    EXPECT_TRUE(manager->fetchAIResponseDetails(2).empty());
    test::RawSqlite raw(databaseFile());
    EXPECT_EQ(raw.query("SELECT historyId, count(*) FROM translationDetailRecord GROUP BY 1"),
              (Rows{{"1", "2"}, {"3", "2"}}));
    EXPECT_EQ(raw.query("SELECT historyId FROM aiResponseDetailRecord ORDER BY 1"),
              (Rows{{"1"}, {"3"}}));

    // An id that names no interview deletes nothing and still gives the whole list.
    remaining = manager->deleteHistory(77);
    ASSERT_TRUE(remaining.ok());
    EXPECT_THAT(idsOf(remaining.value()), ElementsAre(3, 1));
}

TEST_F(GRDBDataManagerTest, AnswerUpdateTouchesOnlyTheGivenInterviewsStream) {
    auto manager = open();
    manager->insertHistory(interview(1, 1));
    manager->insertHistory(interview(2, 2));
    manager->insertTranslationDetail(line(1, 1, "a", 77));
    manager->insertTranslationDetail(line(1, 2, "b", 78));
    manager->insertTranslationDetail(line(2, 3, "c", 77));  // same stream id, other interview

    std::string console = consoleOf([&] { manager->updateAIResultText(1, 77, "答案"); });
    EXPECT_EQ(console, "更新成功 streamID=77\n");
    test::RawSqlite raw(databaseFile());
    const std::string answers =
        "SELECT sourceText, aiResultText FROM translationDetailRecord ORDER BY id";
    EXPECT_EQ(raw.query(answers), (Rows{{"a", "答案"}, {"b", ""}, {"c", ""}}));

    console = consoleOf([&] { manager->updateAIResultText(1, 5, "无"); });
    EXPECT_EQ(console, "更新成功 streamID=5\n");
    EXPECT_EQ(raw.query(answers), (Rows{{"a", "答案"}, {"b", ""}, {"c", ""}}));

    const auto plan = raw.query(
        "EXPLAIN QUERY PLAN UPDATE translationDetailRecord SET aiResultText = 'x' "
        "WHERE historyId = 1 AND streamID = 77");
    ASSERT_FALSE(plan.empty());
    EXPECT_THAT(plan.back().back(), HasSubstr("translationDetailRecord_historyId_streamID"));
}

TEST_F(GRDBDataManagerTest, ListsComeBackInTimeOrder) {
    auto manager = open();
    manager->insertHistory(interview(10, 500.5));
    manager->insertHistory(interview(11, 900.25));
    manager->insertHistory(interview(12, 100.0));
    EXPECT_THAT(idsOf(manager->fetchAllHistory()), ElementsAre(11, 10, 12));

    for (auto [timeStr, text] : std::vector<std::pair<double, std::string>>{
             {30.5, "third"}, {10.0, "first"}, {20.75, "second"}, {40.0, "fourth"}}) {
        manager->insertTranslationDetail(line(10, timeStr, text));
        manager->insertAIResponseDetail(answer(10, timeStr, text));
    }
    manager->insertTranslationDetail(line(11, 1.0, "other interview"));
    EXPECT_THAT(sourceTexts(manager->fetchTranslationDetails(10)),
                ElementsAre("first", "second", "third", "fourth"));
    std::vector<std::string> questions;
    for (const auto& a : manager->fetchAIResponseDetails(10)) questions.push_back(a.aiQuestionText);
    EXPECT_THAT(questions, ElementsAre("first", "second", "third", "fourth"));
    EXPECT_TRUE(manager->fetchTranslationDetails(12).empty());
    EXPECT_TRUE(manager->fetchAIResponseDetails(404).empty());
}

TEST_F(GRDBDataManagerTest, SearchMatchesTheTextLiterally) {
    auto manager = open();
    const std::vector<std::optional<std::string>> names = {
        "100%_done", "100xxdone",     "1000_done",  "100%Xdone",
        R"(a\b)",    "Interview ABC", "面试记录一", std::nullopt};
    for (std::size_t i = 0; i < names.size(); ++i) {
        manager->insertHistory(interview(static_cast<std::int64_t>(i + 1), double(i), names[i]));
    }
    struct Case {
        std::string text;
        std::vector<std::int64_t> ids;  // newest first
    };
    for (const auto& c : std::vector<Case>{
             {"100%_done", {1}},
             {"%", {4, 1}},
             {"_", {3, 1}},
             {R"(\)", {5}},
             {"abc", {6}},  // ASCII letters match in any case
             {"面试", {7}},
             {"面试记录二", {}},
             {"", {7, 6, 5, 4, 3, 2, 1}},  // every interview that has a name
         }) {
        SCOPED_TRACE(c.text);
        auto found = manager->searchHistory(c.text);
        ASSERT_TRUE(found.ok()) << found.error().description();
        EXPECT_EQ(idsOf(found.value()), c.ids);
    }
}

TEST_F(GRDBDataManagerTest, RenameChangesTheShownName) {
    auto manager = open();
    manager->insertHistory(interview(5, 5));
    std::string console = consoleOf([&] {
        EXPECT_TRUE(manager->renameHistory(5, "二面 'quoted\"; DROP TABLE historyRecord; --").ok());
        EXPECT_TRUE(manager->renameHistory(6, "没有这场面试").ok());
    });
    EXPECT_EQ(console, "");
    const auto all = manager->fetchAllHistory();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].historyFileName, "二面 'quoted\"; DROP TABLE historyRecord; --");
    auto found = manager->searchHistory("DROP TABLE");
    ASSERT_TRUE(found.ok());
    EXPECT_THAT(idsOf(found.value()), ElementsAre(5));
}

TEST_F(GRDBDataManagerTest, WithoutADatabaseEveryOperationFailsQuietly) {
    std::ofstream(documents() / "GRDB") << "a plain file, not a folder";
    std::unique_ptr<GRDBDataManager> manager;
    std::string console = consoleOf([&] { manager = open(); });
    EXPECT_THAT(console,
                StartsWith("数据库路径：" + databaseFile().string() + "\n数据库初始化失败："));
    EXPECT_EQ(manager->dbQueue(), nullptr);
    EXPECT_TRUE(fs::is_regular_file(documents() / "GRDB"));
    ASSERT_TRUE(manager->openingProblem().has_value());
    EXPECT_EQ(manager->openingProblem()->kind, GRDBDataManager::OpeningProblem::Kind::unavailable);

    console = consoleOf([&] {
        EXPECT_EQ(manager->insertHistory(interview(1, 1)), std::nullopt);
        manager->insertTranslationDetail(line(1, 1, "x"));
        manager->insertAIResponseDetail(answer(1, 1, "x"));
        manager->updateAIResultText(1, 1, "x");
        EXPECT_TRUE(manager->fetchAllHistory().empty());
        EXPECT_TRUE(manager->fetchTranslationDetails(1).empty());
        EXPECT_TRUE(manager->fetchAIResponseDetails(1).empty());
    });
    EXPECT_EQ(console,
              "插入主表失败：database is not open\n"
              "插入 翻译 记录失败：database is not open\n"
              "插入 AI 记录失败：database is not open\n"
              "更新失败：database is not open\n"
              "查询历史记录失败：database is not open\n"
              "查询翻译详情失败：database is not open\n"
              "查询AI回答失败：database is not open\n");
    // These hand the failure to their caller, which reports it.
    EXPECT_FALSE(manager->renameHistory(1, "x").ok());
    EXPECT_FALSE(manager->searchHistory("x").ok());
    auto deleted = manager->deleteHistory(1);
    ASSERT_FALSE(deleted.ok());
    EXPECT_EQ(deleted.error().description(), "database is not open");
}

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(GRDBDataManagerTest, ADamagedFileIsKeptAsideAndAFreshDatabaseStoresNewSessions) {
    // A file that is no database at all, and one whose schema page was overwritten.
    const std::function<void()> damages[] = {
        [&] {
            std::ofstream(databaseFile(), std::ios::binary)
                << "not a database, only bytes " << std::string(5000, 'x');
        },
        [&] {
            {
                test::RawSqlite raw(databaseFile());
                raw.exec("CREATE TABLE old (x)");
                raw.exec("INSERT INTO old VALUES (1)");
            }
            std::fstream file(databaseFile(), std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(100);
            file << std::string(400, '\xA5');
        },
    };
    for (const auto& damage : damages) {
        fs::remove_all(databaseFile().parent_path());
        fs::create_directories(databaseFile().parent_path());
        damage();
        const std::string damaged = bytesOf(databaseFile());

        std::unique_ptr<GRDBDataManager> manager;
        const std::string console = consoleOf([&] { manager = open(); });
        ASSERT_NE(manager->dbQueue(), nullptr);
        ASSERT_TRUE(manager->openingProblem().has_value());
        const auto& problem = *manager->openingProblem();
        EXPECT_EQ(problem.kind, GRDBDataManager::OpeningProblem::Kind::damagedFileReplaced);
        ASSERT_TRUE(problem.keptAs.has_value());
        const fs::path kept = *problem.keptAs;
        EXPECT_EQ(kept.parent_path(), databaseFile().parent_path());
        EXPECT_THAT(kept.filename().string(), StartsWith("history.sqlite.damaged-"));
        EXPECT_EQ(bytesOf(kept), damaged) << "kept byte for byte";
        EXPECT_THAT(console,
                    HasSubstr("⚠️ 数据库文件已损坏，已另存为：" + kept.string()));
        EXPECT_EQ(fs::status(databaseFile()).permissions(), fs::perms(0600));

        EXPECT_EQ(manager->insertHistory(interview(7, 7)), 7);
        manager->insertTranslationDetail(line(7, 1, "新的一句"));
        EXPECT_THAT(sourceTexts(manager->fetchTranslationDetails(7)), ElementsAre("新的一句"));

        // The next start opens the new file as it is.
        manager.reset();
        manager = open();
        EXPECT_FALSE(manager->openingProblem().has_value());
        EXPECT_EQ(idsOf(manager->fetchAllHistory()), std::vector<std::int64_t>{7});
        int keptFiles = 0;
        for (const auto& entry : fs::directory_iterator(databaseFile().parent_path())) {
            if (entry.path().filename().string().find("damaged") != std::string::npos) ++keptFiles;
        }
        EXPECT_EQ(keptFiles, 1) << "moved aside once";
    }
}

TEST_F(GRDBDataManagerTest, ATableOfAnotherLayoutStaysAsItIs) {
    fs::create_directories(databaseFile().parent_path());
    const std::string legacy =
        "CREATE TABLE translationDetailRecord (id INTEGER PRIMARY KEY, historyId INTEGER, "
        "time TEXT, timeStr DOUBLE, sourceText TEXT, resultText TEXT, sourceColor TEXT, "
        "resultColor TEXT, streamID INTEGER, startTime INTEGER, endTime INTEGER)";
    {
        test::RawSqlite raw(databaseFile());
        raw.exec(legacy);
        raw.exec(
            "CREATE TABLE historyRecord (id INTEGER PRIMARY KEY, title TEXT, timeStr DOUBLE, "
            "audioFileName TEXT, sourceLanguage TEXT, resultLanguage TEXT, modelType INTEGER, "
            "antoAnswerType INTEGER, historyFileName TEXT, time TEXT)");
        raw.exec("INSERT INTO historyRecord VALUES (1, NULL, 1, 'a', NULL, NULL, 0, 0, 'n', 't')");
        raw.exec(
            "INSERT INTO translationDetailRecord VALUES (1, 1, 't', 1, 's', 'r', 'c', 'c', 7, 0, "
            "0)");
    }
    auto manager = open();
    ASSERT_NE(manager->dbQueue(), nullptr);
    test::RawSqlite raw(databaseFile());
    EXPECT_EQ(raw.single("SELECT sql FROM sqlite_master WHERE name = 'translationDetailRecord'"),
              legacy);
    EXPECT_EQ(
        raw.single("SELECT count(*) FROM sqlite_master WHERE name = 'aiResponseDetailRecord'"),
        "1");

    const std::string console = consoleOf([&] {
        manager->insertTranslationDetail(line(1, 2, "new"));
        EXPECT_TRUE(manager->fetchTranslationDetails(1).empty());  // no aiResultText column
        EXPECT_TRUE(manager->fetchAllHistory().empty());  // a NULL title fails the whole list
    });
    EXPECT_THAT(console, StartsWith("插入 翻译 记录失败："));
    EXPECT_THAT(console, HasSubstr("\n查询翻译详情失败：cannot decode column \"aiResultText\""));
    EXPECT_THAT(console, HasSubstr("\n查询历史记录失败：cannot decode column \"title\""));
    EXPECT_EQ(raw.single("SELECT count(*) FROM translationDetailRecord"), "1");
}

TEST_F(GRDBDataManagerTest, ALineSurvivesTheProcessBeingKilledRightAfterItsInsert) {
    const fs::path folder = documents();
    open().reset();  // the tables exist before the child starts
    std::fflush(stdout);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        GRDBDataManager manager(folder);
        manager.insertHistory(interview(7, 7));
        manager.insertTranslationDetail(line(7, 8, "临终之言"));
        kill(getpid(), SIGKILL);
        _exit(1);  // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    // The line lives only in the write-ahead log: nothing checkpointed it into the file.
    EXPECT_GT(fs::file_size(fs::path(databaseFile().string() + "-wal")), 0u);

    auto manager = open();
    EXPECT_THAT(sourceTexts(manager->fetchTranslationDetails(7)), ElementsAre("临终之言"));
}

TEST_F(GRDBDataManagerTest, CallsFromManyThreadsRunOneAfterAnother) {
    auto manager = open();
    manager->insertHistory(interview(1, 1));
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 25;
    consoleOf([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLinesEach; ++i) {
                    manager->insertTranslationDetail(line(1, t * 100 + i, "line", t * 100 + i));
                    manager->updateAIResultText(1, t * 100 + i, "answer " + std::to_string(t));
                    manager->fetchTranslationDetails(1);
                }
            });
        }
        for (auto& thread : threads) thread.join();
    });
    const auto lines = manager->fetchTranslationDetails(1);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
    for (const auto& l : lines) {
        EXPECT_EQ(l.aiResultText, "answer " + std::to_string(l.streamID / 100));
    }
}

}  // namespace
}  // namespace pex
