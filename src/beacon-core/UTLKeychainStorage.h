#pragma once
// Small archived objects kept as generic-password items of one service in the secure item
// store, with a small in-memory cache in front. Answers through completion handlers: keychain
// calls run one at a time on "com.utl.KeychainStorage.Keychain", cache work on
// "com.utl.KeychainStorage.InMemoryCache". Completions run on the cache queue for cache hits
// and successful reads and writes, on the keychain queue for failures, absent items and
// removals.
//
// The cache only ever holds what the store holds: a write enters the cache once it is stored,
// so a failed write leaves the cache (and every later read) as it was. A read asked after a
// write or removal of its key sees the outcome of that change.
//
// Objects are archivable types (see KeyedArchive.h), handed around as shared constant objects.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "beacon-core/UTLObjectCache.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/security/SecureItemQuery.h"

namespace pex {

class UTLKeychainStorage {
  public:
    static constexpr std::size_t kDefaultCacheLimit = 5;
    // Errors of archives that cannot be read back as the expected class.
    static constexpr const char* kArchiveErrorDomain = "com.utl.KeychainStorage.Archive";

    template <typename T>
    using ObjectCompletion = std::function<void(std::shared_ptr<const T>, ErrorRef)>;
    using RemoveCompletion = std::function<void(ErrorRef)>;

    explicit UTLKeychainStorage(std::string service);
    UTLKeychainStorage(std::string service, std::shared_ptr<UTLObjectCache> cache);

    const std::string& service() const { return service_; }
    const std::shared_ptr<UTLObjectCache>& inMemoryCache() const { return cache_; }
    // Limits every later call to this store (not owned; it must outlive this object's work).
    void setKeychainRef(SecureItemStore* keychain) { keychainRef_ = keychain; }
    SecureItemStore* keychainRef() const { return keychainRef_; }

    template <typename T>
    void getObjectForKey(const std::string& key, const std::optional<std::string>& accessGroup,
                         ObjectCompletion<T> completion) {
        get(key, ObjectClass::of<T>(), accessGroup, true, erase<T>(std::move(completion)));
    }
    // As getObjectForKey, without looking in the cache first.
    template <typename T>
    void getObjectFromKeychainForKey(const std::string& key,
                                     const std::optional<std::string>& accessGroup,
                                     ObjectCompletion<T> completion) {
        get(key, ObjectClass::of<T>(), accessGroup, false, erase<T>(std::move(completion)));
    }
    // The completion receives the stored object, or the error.
    template <typename T>
    void setObject(std::shared_ptr<const T> object, const std::string& key,
                   const std::optional<std::string>& accessGroup, ObjectCompletion<T> completion) {
        std::function<std::string()> encode = [object] { return KeyedArchive::archive(*object); };
        set(UTLCachedObject{T::kArchiveClassName, object}, std::move(encode), key, accessGroup,
            erase<T>(std::move(completion)));
    }
    void removeObjectForKey(const std::string& key, const std::optional<std::string>& accessGroup,
                            RemoveCompletion completion);
    // Empties the cache on the calling thread.
    void resetInMemoryCache();

    SecureItemQuery keychainQueryWithKey(const std::string& key,
                                         const std::optional<std::string>& accessGroup) const;

  private:
    using Completion = std::function<void(std::shared_ptr<const void>, ErrorRef)>;
    struct ObjectClass {
        std::string name;
        std::function<std::shared_ptr<const void>(std::string_view, std::string*)> decode;
        template <typename T>
        static ObjectClass of() {
            return {
                T::kArchiveClassName,
                [](std::string_view bytes, std::string* problem) -> std::shared_ptr<const void> {
                    auto object = KeyedArchive::unarchive<T>(bytes, problem);
                    if (!object) return nullptr;
                    return std::make_shared<const T>(std::move(*object));
                }};
        }
    };
    template <typename T>
    static Completion erase(ObjectCompletion<T> completion) {
        return [completion = std::move(completion)](std::shared_ptr<const void> object,
                                                    ErrorRef error) {
            if (completion) completion(std::static_pointer_cast<const T>(object), error);
        };
    }

    void get(const std::string& key, ObjectClass objectClass,
             const std::optional<std::string>& accessGroup, bool lookInCache,
             Completion completion);
    void set(UTLCachedObject object, std::function<std::string()> encode, const std::string& key,
             const std::optional<std::string>& accessGroup, Completion completion);

    const std::string service_;
    const std::shared_ptr<UTLObjectCache> cache_;
    const DispatchQueue keychainQueue_;
    const DispatchQueue inMemoryCacheQueue_;
    struct PendingChanges;
    const std::shared_ptr<PendingChanges> pending_;
    std::atomic<SecureItemStore*> keychainRef_{nullptr};
};

}  // namespace pex
