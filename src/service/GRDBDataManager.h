#pragma once
// The local history database: every interview with its transcript lines and answers, in
// "GRDB/history.sqlite" under the user's Documents folder. All operations run synchronously on
// the one database queue, so they may be called from any thread; each write is one transaction.
// When the database could not be opened every operation gives its failure result. A file that
// turns out not to be a database, or damaged, is moved aside (kept, under a name that says so)
// and a fresh database takes its place, so the interviews of this run are still stored.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/grdb/DatabaseQueue.h"
#include "platform/grdb/DatabaseResult.h"
#include "service/AIResponseDetailRecord.h"
#include "service/HistoryRecord.h"
#include "service/TranslationDetailRecord.h"

namespace pex {

class GRDBDataManager {
  public:
    // Opened on first use in the standard Documents folder and kept until the process ends.
    static GRDBDataManager& shared();

    // Opens (creating when missing) "GRDB/history.sqlite" in `documentsFolder` and creates the
    // tables that are missing. Failures are logged; the manager then works without a database.
    explicit GRDBDataManager(const std::filesystem::path& documentsFolder);
    ~GRDBDataManager();
    GRDBDataManager(const GRDBDataManager&) = delete;
    GRDBDataManager& operator=(const GRDBDataManager&) = delete;

    // The database queue; null when opening failed.
    DatabaseQueue* dbQueue() const { return dbQueue_.get(); }

    // What went wrong while opening, for the user to be told.
    struct OpeningProblem {
        enum class Kind {
            damagedFileReplaced,  // the old file is kept as `keptAs`; a fresh one is in use
            unavailable,          // no database this run: nothing is stored
        };
        Kind kind;
        std::string error;  // the database's or the file system's own words
        std::optional<std::filesystem::path> keptAs;
    };
    const std::optional<OpeningProblem>& openingProblem() const { return openingProblem_; }

    // Stores the interview and returns its id: the record's own id, or the next free one when
    // that is taken (two interviews started in the same second), or the id SQLite assigned
    // when the record has none. None on failure.
    std::optional<std::int64_t> insertHistory(const HistoryRecord& record);
    // The writes of a running session; a failure is logged and given back, so that the session
    // can tell its user that something is not being stored.
    DatabaseStatus insertTranslationDetail(const TranslationDetailRecord& record);
    DatabaseStatus insertAIResponseDetail(const AIResponseDetailRecord& record);
    // Sets the answer of the interview's lines answered by that stream (none is no failure).
    DatabaseStatus updateAIResultText(std::int64_t historyId, std::int64_t streamID,
                                      const std::string& aiResultText);

    // Newest first.
    std::vector<HistoryRecord> fetchAllHistory();
    // In time order.
    std::vector<TranslationDetailRecord> fetchTranslationDetails(std::int64_t historyId);
    std::vector<AIResponseDetailRecord> fetchAIResponseDetails(std::int64_t historyId);

    DatabaseStatus renameHistory(std::int64_t id, const std::string& newName);
    // Interviews whose name contains `text` literally (ASCII letters in any case), newest first.
    DatabaseResult<std::vector<HistoryRecord>> searchHistory(const std::string& text);
    // Deletes the interview with its lines and answers; gives the remaining ones, newest first.
    DatabaseResult<std::vector<HistoryRecord>> deleteHistory(std::int64_t id);

  private:
    // Opens `file` and creates the missing tables: the first failure, if any. A failure to
    // create tables keeps the queue.
    std::optional<DatabaseError> openAt(const std::filesystem::path& file);
    std::optional<DatabaseError> createTables();
    void replaceDamagedFile(const std::filesystem::path& folder, const std::filesystem::path& file,
                            const DatabaseError& damage);

    std::unique_ptr<DatabaseQueue> dbQueue_;
    std::optional<OpeningProblem> openingProblem_;
};

}  // namespace pex
