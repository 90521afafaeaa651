#pragma once
// The durable store of one id's heartbeat bundle. Every read-change-write of an id runs on that
// id's serial queue "com.heartbeat.storage.<id>", and the process has at most one live store
// per id (a registry of weak references), so two users of one id never overwrite each other.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "beacon-core/HeartbeatsBundle.h"
#include "beacon-core/UTLGzip.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

enum class StorageError { readError, writeError };

// The bytes behind a store.
class Storage {
  public:
    virtual ~Storage() = default;
    virtual std::variant<UTLData, StorageError> read() = 0;
    // None writes nothing (an empty store); the result is the failure, if any.
    virtual std::optional<StorageError> write(const std::optional<UTLData>& bytes) = 0;
};

// "beacon-heartbeat-storage/heartbeats-<id with ':' as '_'>" under the per-user application
// support folder, written atomically and readable by the user only.
class FileStorage : public Storage {
  public:
    explicit FileStorage(std::filesystem::path url) : url_(std::move(url)) {}
    static std::unique_ptr<Storage> makeStorage(const std::string& id);
    static std::filesystem::path fileFor(const std::string& id);

    std::variant<UTLData, StorageError> read() override;
    std::optional<StorageError> write(const std::optional<UTLData>& bytes) override;
    const std::filesystem::path& url() const { return url_; }

  private:
    std::filesystem::path url_;
};

// The bytes under `key` of a settings suite.
class UserDefaultsStorage : public Storage {
  public:
    UserDefaultsStorage(std::string suiteName, std::string key)
        : suiteName_(std::move(suiteName)), key_(std::move(key)) {}
    std::variant<UTLData, StorageError> read() override;
    std::optional<StorageError> write(const std::optional<UTLData>& bytes) override;

  private:
    std::string suiteName_;
    std::string key_;
};

class HeartbeatStorage : public std::enable_shared_from_this<HeartbeatStorage> {
  public:
    using Transform =
        std::function<std::optional<HeartbeatsBundle>(std::optional<HeartbeatsBundle>)>;
    // The bundle read before the transform (none when there was none), or the save failure.
    using ExchangeResult = std::variant<std::optional<HeartbeatsBundle>, StorageError>;

    // The live store of `id`, made (with a file store) when there is none.
    static std::shared_ptr<HeartbeatStorage> instanceForID(const std::string& id);

    // Always owned by a shared pointer: pending async work keeps the store alive.
    HeartbeatStorage(std::string id, std::unique_ptr<Storage> storage);
    ~HeartbeatStorage();
    HeartbeatStorage(const HeartbeatStorage&) = delete;
    HeartbeatStorage& operator=(const HeartbeatStorage&) = delete;

    // The sync forms throw DispatchDeadlock when called on this store's own queue (from a
    // transform or an async completion), where they could never finish.
    void transformSync(const Transform& transform);
    void transformAsync(Transform transform);
    ExchangeResult exchangeSync(const Transform& transform);
    void exchangeAsync(Transform transform, std::function<void(ExchangeResult)> completion);

    const std::string& id() const { return id_; }
    const DispatchQueue& queue() const { return queue_; }

    // Called by a dying store just before it unregisters, so a test can register a newer store
    // of the same id in between.
    static void setWillUnregisterHookForTesting(std::function<void(const std::string& id)> hook);

  private:
    std::optional<HeartbeatsBundle> load();
    std::optional<StorageError> save(const std::optional<HeartbeatsBundle>& bundle);
    ExchangeResult run(const Transform& transform);

    const std::string id_;
    const std::unique_ptr<Storage> storage_;
    const DispatchQueue queue_;
};

}  // namespace pex
