#pragma once
// The database queue: one SQLite connection whose every use is serialised. Callers on any
// thread wait their turn; `write` runs its work in a transaction that is committed when the
// work succeeds and rolled back when it (or the commit) fails.
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "platform/grdb/Database.h"
#include "platform/grdb/DatabaseConfiguration.h"
#include "platform/grdb/DatabaseResult.h"

namespace pex {

class DatabaseQueue {
  public:
    static DatabaseResult<std::unique_ptr<DatabaseQueue>> open(
        const std::filesystem::path& path, const DatabaseConfiguration& configuration = {});

    const std::filesystem::path& path() const { return path_; }

    // `work(Database&)` returns a DatabaseResult; so does `write`.
    template <class Work>
    auto write(Work&& work) -> std::invoke_result_t<Work&, Database&> {
        Access access(*this);
        if (auto begun = database_->execute("BEGIN IMMEDIATE TRANSACTION"); !begun) {
            return begun.error();
        }
        auto result = work(*database_);
        if (!result) {
            rollback();
            return result;
        }
        if (auto committed = database_->execute("COMMIT TRANSACTION"); !committed) {
            rollback();
            return committed.error();
        }
        return result;
    }

    // Runs `work` alone on the connection, outside any explicit transaction.
    template <class Work>
    auto read(Work&& work) -> std::invoke_result_t<Work&, Database&> {
        Access access(*this);
        return work(*database_);
    }

  private:
    DatabaseQueue(std::filesystem::path path, std::unique_ptr<Database> database);

    // Holds the queue for one caller. Asking for the queue again from inside its own work
    // would wait forever; debug builds stop there instead.
    class Access {
      public:
        explicit Access(DatabaseQueue& queue);
        ~Access();
        Access(const Access&) = delete;
        Access& operator=(const Access&) = delete;

      private:
        DatabaseQueue& queue_;
    };

    void rollback();

    std::filesystem::path path_;
    std::unique_ptr<Database> database_;
    std::mutex mutex_;
    std::atomic<std::thread::id> holder_{};
};

}  // namespace pex
