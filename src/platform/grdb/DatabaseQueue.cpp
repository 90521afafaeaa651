#include "platform/grdb/DatabaseQueue.h"

#include <cassert>

namespace pex {

DatabaseQueue::DatabaseQueue(std::filesystem::path path, std::unique_ptr<Database> database)
    : path_(std::move(path)), database_(std::move(database)) {}

DatabaseResult<std::unique_ptr<DatabaseQueue>> DatabaseQueue::open(
    const std::filesystem::path& path, const DatabaseConfiguration& configuration) {
    auto database = Database::open(path, configuration);
    if (!database) return database.error();
    return std::unique_ptr<DatabaseQueue>(new DatabaseQueue(path, std::move(database).value()));
}

DatabaseQueue::Access::Access(DatabaseQueue& queue) : queue_(queue) {
    assert(queue_.holder_.load() != std::this_thread::get_id() &&
           "database queue used again from inside its own work");
    queue_.mutex_.lock();
    queue_.holder_.store(std::this_thread::get_id());
}

DatabaseQueue::Access::~Access() {
    queue_.holder_.store(std::thread::id());
    queue_.mutex_.unlock();
}

void DatabaseQueue::rollback() {
    // Some failures (a full disk, an I/O error) have already rolled the transaction back.
    if (database_->isInsideTransaction()) database_->execute("ROLLBACK TRANSACTION");
}

}  // namespace pex
