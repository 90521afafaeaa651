#include "service/GRDBDataManager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/StandardFolders.h"

namespace pex {

namespace {

constexpr const char* kCreateHistoryTable = R"sql(CREATE TABLE IF NOT EXISTS "historyRecord" (
  "id" INTEGER PRIMARY KEY,
  "title" TEXT NOT NULL,
  "timeStr" DOUBLE NOT NULL,
  "audioFileName" TEXT NOT NULL,
  "sourceLanguage" TEXT,
  "resultLanguage" TEXT,
  "modelType" INTEGER NOT NULL,
  "antoAnswerType" INTEGER NOT NULL,
  "historyFileName" TEXT,
  "time" TEXT NOT NULL
))sql";

constexpr const char* kCreateTranslationTable =
    R"sql(CREATE TABLE IF NOT EXISTS "translationDetailRecord" (
  "id" INTEGER PRIMARY KEY,
  "historyId" INTEGER NOT NULL REFERENCES "historyRecord"("id") ON DELETE CASCADE,
  "time" TEXT NOT NULL,
  "timeStr" DOUBLE NOT NULL,
  "sourceText" TEXT NOT NULL,
  "resultText" TEXT NOT NULL,
  "sourceColor" TEXT NOT NULL,
  "resultColor" TEXT NOT NULL,
  "streamID" INTEGER NOT NULL,
  "aiResultText" TEXT NOT NULL DEFAULT '',
  "startTime" INTEGER NOT NULL,
  "endTime" INTEGER NOT NULL
))sql";

constexpr const char* kCreateTranslationIndex =
    R"sql(CREATE INDEX IF NOT EXISTS "translationDetailRecord_historyId"
  ON "translationDetailRecord"("historyId"))sql";

constexpr const char* kCreateAIResponseTable =
    R"sql(CREATE TABLE IF NOT EXISTS "aiResponseDetailRecord" (
  "id" INTEGER PRIMARY KEY,
  "historyId" INTEGER NOT NULL REFERENCES "historyRecord"("id") ON DELETE CASCADE,
  "time" TEXT NOT NULL,
  "timeStr" DOUBLE NOT NULL,
  "aiQuestionText" TEXT NOT NULL,
  "aiResultText" TEXT NOT NULL
))sql";

constexpr const char* kCreateAIResponseIndex =
    R"sql(CREATE INDEX IF NOT EXISTS "aiResponseDetailRecord_historyId"
  ON "aiResponseDetailRecord"("historyId"))sql";

// Serves the answer update, which names both the interview and the stream. Added to files made
// by earlier versions too, so it is created on its own, after the tables.
constexpr const char* kCreateStreamIndex =
    R"sql(CREATE INDEX IF NOT EXISTS "translationDetailRecord_historyId_streamID"
  ON "translationDetailRecord"("historyId", "streamID"))sql";

constexpr const char* kTableExists =
    "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?";
constexpr const char* kHistoryIdTaken = "SELECT 1 FROM historyRecord WHERE id = ?";
constexpr const char* kUpdateAIResultText =
    "UPDATE translationDetailRecord\n"
    "SET aiResultText = :aiResultText\n"
    "WHERE historyId = :historyId AND streamID = :streamID";
// The interview lists are put in order here, not by SQLite (see newestFirst).
constexpr const char* kAllHistory = "SELECT * FROM historyRecord";
constexpr const char* kTranslationDetails =
    "SELECT * FROM translationDetailRecord WHERE historyId = ? ORDER BY timeStr ASC";
constexpr const char* kAIResponseDetails =
    "SELECT * FROM aiResponseDetailRecord WHERE historyId = ? ORDER BY timeStr ASC";
constexpr const char* kRenameHistory = "UPDATE historyRecord SET historyFileName = ? WHERE id = ?";
constexpr const char* kSearchHistory =
    "SELECT * FROM historyRecord WHERE historyFileName LIKE ? ESCAPE '\\'";
constexpr const char* kDeleteHistory = "DELETE FROM historyRecord WHERE id = ?";

// One whole line on standard output, flushed, so lines from different threads never mix.
void log(const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// "%" + text + "%", with the text's own "%", "_" and "\" matched literally.
std::string containsPattern(const std::string& text) {
    std::string pattern = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

// Orders interviews by `timeStr`, newest first. SQLite would sort the whole rows, which takes
// several times longer than reading them; here only (timeStr, position) pairs are sorted and each
// record is moved once. Equal times keep the order in which SQLite gave the rows.
std::vector<HistoryRecord> newestFirst(std::vector<HistoryRecord> records) {
    std::vector<std::pair<double, std::size_t>> order;
    order.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) order.emplace_back(records[i].timeStr, i);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<HistoryRecord> sorted;
    sorted.reserve(records.size());
    for (const auto& entry : order) sorted.push_back(std::move(records[entry.second]));
    return sorted;
}

DatabaseResult<std::vector<HistoryRecord>> newestFirst(
    DatabaseResult<std::vector<HistoryRecord>> records) {
    if (!records) return records;
    return newestFirst(std::move(records).value());
}

// The first id from `wanted` upwards that no interview has; none when every id up to the
// largest is taken, which leaves the choice to SQLite.
DatabaseResult<std::optional<std::int64_t>> firstFreeHistoryId(Database& db, std::int64_t wanted) {
    for (std::int64_t id = wanted;; ++id) {
        auto taken = db.exists(kHistoryIdTaken, {id});
        if (!taken) return taken.error();
        if (!taken.value()) return std::optional<std::int64_t>(id);
        if (id == std::numeric_limits<std::int64_t>::max()) {
            return std::optional<std::int64_t>();
        }
    }
}

DatabaseStatus createTableWithIndex(Database& db, const char* table, const char* createTable,
                                    const char* createIndex) {
    auto exists = db.exists(kTableExists, {std::string(table)});
    if (!exists) return exists.error();
    // A table that is already there stays exactly as it is, whatever its layout.
    if (exists.value()) return DatabaseSuccess{};
    if (auto created = db.execute(createTable); !created) return created;
    if (createIndex) return db.execute(createIndex);
    return DatabaseSuccess{};
}

// Stores one transcript line or answer; `what` names the kind in the console lines.
template <typename Record>
DatabaseStatus insertDetail(DatabaseQueue* queue, const Record& record, const std::string& what) {
    const std::string failure = "插入 " + what + " 记录失败：";
    if (!queue) {
        log(failure + DatabaseError::notOpen().description());
        return DatabaseError::notOpen();
    }
    auto inserted = queue->write([&record](Database& db) { return db.insert(record); });
    if (!inserted) {
        log(failure + inserted.error().description());
        return inserted.error();
    }
    log("插入一条 " + what + " 记录成功");
    return DatabaseSuccess{};
}

// The transcript lines or answers of one interview as `sql` orders them; a failure is logged
// after `failure` and gives none.
template <typename Record>
std::vector<Record> fetchDetails(DatabaseQueue* queue, const char* sql, std::int64_t historyId,
                                 const std::string& failure) {
    if (!queue) {
        log(failure + DatabaseError::notOpen().description());
        return {};
    }
    auto fetched = queue->read(
        [sql, historyId](Database& db) { return db.fetchAll<Record>(sql, {historyId}); });
    if (!fetched) {
        log(failure + fetched.error().description());
        return {};
    }
    return std::move(fetched).value();
}

// The history is the user's own: its folder is 0700 and its files 0600, whatever mode the
// Documents folder around it has. SQLite gives its journal files the mode of the database
// file, so creating that one private keeps them private too. A symbolic link is left alone.
void makePrivate(const std::filesystem::path& folder, const std::filesystem::path& file) {
    std::error_code error;
    if (std::filesystem::is_directory(std::filesystem::symlink_status(folder, error))) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
    }
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const std::filesystem::path companion = file.string() + suffix;
        if (std::filesystem::is_regular_file(std::filesystem::symlink_status(companion, error))) {
            std::filesystem::permissions(
                companion, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                error);
        }
    }
}

}  // namespace

GRDBDataManager& GRDBDataManager::shared() {
    // Never destroyed: answer streams may still write while the process exits.
    static GRDBDataManager* const instance = new GRDBDataManager(StandardFolders::documents());
    return *instance;
}

GRDBDataManager::GRDBDataManager(const std::filesystem::path& documentsFolder) {
    const std::filesystem::path folder = documentsFolder / "GRDB";
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder, error))) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            const std::string what =
                "cannot create folder " + folder.string() + ": " + error.message();
            log("数据库初始化失败：" + what);
            openingProblem_ = OpeningProblem{OpeningProblem::Kind::unavailable, what, {}};
            return;
        }
    }
    const std::filesystem::path file = folder / "history.sqlite";
    makePrivate(folder, file);
    log("数据库路径：" + file.string());
    const std::optional<DatabaseError> failure = openAt(file);
    if (failure && failure->isDamagedFile()) {
        replaceDamagedFile(folder, file, *failure);
    } else if (failure && !dbQueue_) {
        openingProblem_ =
            OpeningProblem{OpeningProblem::Kind::unavailable, failure->description(), {}};
    }
}

GRDBDataManager::~GRDBDataManager() = default;

std::optional<DatabaseError> GRDBDataManager::openAt(const std::filesystem::path& file) {
    auto opened = DatabaseQueue::open(file);
    if (!opened) {
        log("数据库初始化失败：" + opened.error().description());
        return opened.error();
    }
    dbQueue_ = std::move(opened).value();
    return createTables();
}

// The damaged file becomes "history.sqlite.damaged-<time>" (SQLite has settled its own journal
// files while trying to open it) and a fresh database is opened in its place. If the file
// cannot be moved, it is left untouched and nothing is stored this run.
void GRDBDataManager::replaceDamagedFile(const std::filesystem::path& folder,
                                         const std::filesystem::path& file,
                                         const DatabaseError& damage) {
    dbQueue_.reset();
    std::error_code error;
    const auto kept = AtomicFile::moveAside(file, ".damaged-" + AtomicFile::timestamp(), error);
    if (!kept) {
        const std::string what =
            damage.description() + "; cannot move it aside: " + error.message();
        log("数据库初始化失败：" + what);
        openingProblem_ = OpeningProblem{OpeningProblem::Kind::unavailable, what, std::nullopt};
        return;
    }
    log("⚠️ 数据库文件已损坏，已另存为：" + kept->string());
    makePrivate(folder, file);
    if (const auto failure = openAt(file); failure && !dbQueue_) {
        openingProblem_ =
            OpeningProblem{OpeningProblem::Kind::unavailable, failure->description(), kept};
        return;
    }
    openingProblem_ =
        OpeningProblem{OpeningProblem::Kind::damagedFileReplaced, damage.description(), kept};
}

std::optional<DatabaseError> GRDBDataManager::createTables() {
    auto created = dbQueue_->write([](Database& db) -> DatabaseStatus {
        if (auto s = createTableWithIndex(db, "historyRecord", kCreateHistoryTable, nullptr); !s) {
            return s;
        }
        if (auto s = createTableWithIndex(db, "translationDetailRecord", kCreateTranslationTable,
                                          kCreateTranslationIndex);
            !s) {
            return s;
        }
        return createTableWithIndex(db, "aiResponseDetailRecord", kCreateAIResponseTable,
                                    kCreateAIResponseIndex);
    });
    if (!created) {
        log("数据库初始化失败：" + created.error().description());
        return created.error();
    }
    auto indexed = dbQueue_->write([](Database& db) { return db.execute(kCreateStreamIndex); });
    if (!indexed) {
        log("数据库初始化失败：" + indexed.error().description());
        return indexed.error();
    }
    return std::nullopt;
}

std::optional<std::int64_t> GRDBDataManager::insertHistory(const HistoryRecord& record) {
    if (!dbQueue_) {
        log("插入主表失败：" + DatabaseError::notOpen().description());
        return std::nullopt;
    }
    auto inserted = dbQueue_->write([&record](Database& db) -> DatabaseResult<std::int64_t> {
        HistoryRecord row = record;
        if (row.id) {
            auto freeId = firstFreeHistoryId(db, *row.id);
            if (!freeId) return freeId.error();
            row.id = freeId.value();
        }
        if (auto status = db.insert(row); !status) return status.error();
        return db.lastInsertedRowID();
    });
    if (!inserted) {
        log("插入主表失败：" + inserted.error().description());
        return std::nullopt;
    }
    log("插入一条 主表 成功");
    return inserted.value();
}

DatabaseStatus GRDBDataManager::insertTranslationDetail(const TranslationDetailRecord& record) {
    return insertDetail(dbQueue_.get(), record, "翻译");
}

DatabaseStatus GRDBDataManager::insertAIResponseDetail(const AIResponseDetailRecord& record) {
    return insertDetail(dbQueue_.get(), record, "AI");
}

DatabaseStatus GRDBDataManager::updateAIResultText(std::int64_t historyId, std::int64_t streamID,
                                                   const std::string& aiResultText) {
    if (!dbQueue_) {
        log("更新失败：" + DatabaseError::notOpen().description());
        return DatabaseError::notOpen();
    }
    auto updated = dbQueue_->write([&](Database& db) {
        return db.execute(kUpdateAIResultText, StatementArguments::withNames({
                                                   {"aiResultText", aiResultText},
                                                   {"historyId", historyId},
                                                   {"streamID", streamID},
                                               }));
    });
    if (!updated) {
        log("更新失败：" + updated.error().description());
        return updated.error();
    }
    log("更新成功 streamID=" + std::to_string(streamID));
    return DatabaseSuccess{};
}

std::vector<HistoryRecord> GRDBDataManager::fetchAllHistory() {
    if (!dbQueue_) {
        log("查询历史记录失败：" + DatabaseError::notOpen().description());
        return {};
    }
    auto fetched =
        dbQueue_->read([](Database& db) { return db.fetchAll<HistoryRecord>(kAllHistory); });
    if (!fetched) {
        log("查询历史记录失败：" + fetched.error().description());
        return {};
    }
    return newestFirst(std::move(fetched).value());
}

std::vector<TranslationDetailRecord> GRDBDataManager::fetchTranslationDetails(
    std::int64_t historyId) {
    return fetchDetails<TranslationDetailRecord>(dbQueue_.get(), kTranslationDetails, historyId,
                                                 "查询翻译详情失败：");
}

std::vector<AIResponseDetailRecord> GRDBDataManager::fetchAIResponseDetails(
    std::int64_t historyId) {
    return fetchDetails<AIResponseDetailRecord>(dbQueue_.get(), kAIResponseDetails, historyId,
                                                "查询AI回答失败：");
}

// The next three hand their failures to the caller, which reports them.
DatabaseStatus GRDBDataManager::renameHistory(std::int64_t id, const std::string& newName) {
    if (!dbQueue_) return DatabaseError::notOpen();
    return dbQueue_->write([&](Database& db) { return db.execute(kRenameHistory, {newName, id}); });
}

DatabaseResult<std::vector<HistoryRecord>> GRDBDataManager::searchHistory(const std::string& text) {
    if (!dbQueue_) return DatabaseError::notOpen();
    const std::string pattern = containsPattern(text);
    return newestFirst(dbQueue_->read([&pattern](Database& db) {
        return db.fetchAll<HistoryRecord>(kSearchHistory, {pattern});
    }));
}

DatabaseResult<std::vector<HistoryRecord>> GRDBDataManager::deleteHistory(std::int64_t id) {
    if (!dbQueue_) return DatabaseError::notOpen();
    return newestFirst(
        dbQueue_->write([id](Database& db) -> DatabaseResult<std::vector<HistoryRecord>> {
            if (auto deleted = db.execute(kDeleteHistory, {id}); !deleted) return deleted.error();
            return db.fetchAll<HistoryRecord>(kAllHistory);
        }));
}

}  // namespace pex
