#include "beacon-core/HeartbeatStorage.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "beacon-core/UnfairLock.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {

namespace {

// A weak entry that also remembers which store made it, so a dying store can tell whether
// the entry is still its own.
struct WeakContainer {
    std::weak_ptr<HeartbeatStorage> object;
    const HeartbeatStorage* owner = nullptr;
};

UnfairLock<std::map<std::string, WeakContainer>>& liveInstances() {
    static auto* registry = new UnfairLock<std::map<std::string, WeakContainer>>();
    return *registry;
}

std::mutex hookMutex;
std::function<void(const std::string&)> willUnregisterHook;

// Bundles are stored as compact JSON with dates as seconds since 2001.
constexpr std::size_t kMaxStoreBytes = 4 * 1024 * 1024;

}  // namespace

// ---- FileStorage

std::filesystem::path FileStorage::fileFor(const std::string& id) {
    std::string name = id;
    std::replace(name.begin(), name.end(), ':', '_');
    return StandardFolders::applicationSupport() / "beacon-heartbeat-storage" /
           ("heartbeats-" + name);
}

std::unique_ptr<Storage> FileStorage::makeStorage(const std::string& id) {
    return std::make_unique<FileStorage>(fileFor(id));
}

std::variant<UTLData, StorageError> FileStorage::read() {
    std::error_code error;
    const auto bytes = AtomicFile::read(url_, error, kMaxStoreBytes);
    if (!bytes) return StorageError::readError;
    return UTLData(bytes->begin(), bytes->end());
}

std::optional<StorageError> FileStorage::write(const std::optional<UTLData>& bytes) {
    std::string_view contents;
    if (bytes) contents = {reinterpret_cast<const char*>(bytes->data()), bytes->size()};
    if (AtomicFile::write(url_, contents)) return StorageError::writeError;
    return std::nullopt;
}

// ---- UserDefaultsStorage

std::variant<UTLData, StorageError> UserDefaultsStorage::read() {
    auto bytes = UserDefaults::suite(suiteName_)->data(key_);
    if (!bytes) return StorageError::readError;
    return UTLData(bytes->begin(), bytes->end());
}

std::optional<StorageError> UserDefaultsStorage::write(const std::optional<UTLData>& bytes) {
    auto suite = UserDefaults::suite(suiteName_);
    if (bytes)
        suite->setData(key_, Bytes(bytes->begin(), bytes->end()));
    else
        suite->remove(key_);
    return std::nullopt;
}

// ---- HeartbeatStorage

std::shared_ptr<HeartbeatStorage> HeartbeatStorage::instanceForID(const std::string& id) {
    return liveInstances().withLock([&](auto& instances) {
        auto& entry = instances[id];
        if (auto live = entry.object.lock()) return live;
        auto store = std::make_shared<HeartbeatStorage>(id, FileStorage::makeStorage(id));
        entry = {store, store.get()};
        return store;
    });
}

HeartbeatStorage::HeartbeatStorage(std::string id, std::unique_ptr<Storage> storage)
    : id_(std::move(id)),
      storage_(std::move(storage)),
      queue_(DispatchQueue::serial("com.heartbeat.storage." + id_)) {}

HeartbeatStorage::~HeartbeatStorage() {
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(hookMutex);
        hook = willUnregisterHook;
    }
    if (hook) hook(id_);
    // Another thread may already have registered a newer store of this id (this one's weak
    // reference expired before this destructor ran): that entry is not ours to drop.
    liveInstances().withLock([&](auto& instances) {
        const auto entry = instances.find(id_);
        if (entry != instances.end() && entry->second.owner == this) instances.erase(entry);
    });
}

void HeartbeatStorage::setWillUnregisterHookForTesting(
    std::function<void(const std::string& id)> hook) {
    std::lock_guard lock(hookMutex);
    willUnregisterHook = std::move(hook);
}

std::optional<HeartbeatsBundle> HeartbeatStorage::load() {
    auto read = storage_->read();
    const auto* bytes = std::get_if<UTLData>(&read);
    if (!bytes || bytes->empty()) return std::nullopt;
    const auto json = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false);
    if (json.is_discarded()) return std::nullopt;
    return HeartbeatsBundle::fromJson(json);
}

std::optional<StorageError> HeartbeatStorage::save(const std::optional<HeartbeatsBundle>& bundle) {
    if (!bundle) return storage_->write(std::nullopt);
    const std::string text = bundle->toJson().dump();
    return storage_->write(UTLData(text.begin(), text.end()));
}

HeartbeatStorage::ExchangeResult HeartbeatStorage::run(const Transform& transform) {
    auto old = load();
    if (auto failure = save(transform(old))) return *failure;
    return old;
}

void HeartbeatStorage::transformSync(const Transform& transform) {
    queue_.sync([&] { run(transform); });
}

void HeartbeatStorage::transformAsync(Transform transform) {
    queue_.async(
        [self = shared_from_this(), transform = std::move(transform)] { self->run(transform); });
}

HeartbeatStorage::ExchangeResult HeartbeatStorage::exchangeSync(const Transform& transform) {
    ExchangeResult result;
    queue_.sync([&] { result = run(transform); });
    return result;
}

void HeartbeatStorage::exchangeAsync(Transform transform,
                                     std::function<void(ExchangeResult)> completion) {
    queue_.async([self = shared_from_this(), transform = std::move(transform),
                  completion = std::move(completion)] {
        auto result = self->run(transform);
        if (completion) completion(std::move(result));
    });
}

}  // namespace pex
