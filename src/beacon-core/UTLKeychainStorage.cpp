#include "beacon-core/UTLKeychainStorage.h"

#include <map>

#include "beacon-core/UTLKeychainUtils.h"

namespace pex {

UTLKeychainStorage::UTLKeychainStorage(std::string service)
    : UTLKeychainStorage(std::move(service), std::make_shared<UTLObjectCache>(kDefaultCacheLimit)) {
}

UTLKeychainStorage::UTLKeychainStorage(std::string service, std::shared_ptr<UTLObjectCache> cache)
    : service_(std::move(service)),
      cache_(std::move(cache)),
      keychainQueue_(DispatchQueue::serial("com.utl.KeychainStorage.Keychain")),
      inMemoryCacheQueue_(DispatchQueue::serial("com.utl.KeychainStorage.InMemoryCache")),
      pending_(std::make_shared<PendingChanges>()) {}

SecureItemQuery UTLKeychainStorage::keychainQueryWithKey(
    const std::string& key, const std::optional<std::string>& accessGroup) const {
    SecureItemQuery query;
    query.attributes.itemClass = SecItemClass::GenericPassword;
    query.attributes.service = service_;
    query.attributes.account = key;
    query.attributes.accessGroup = accessGroup;
    query.useDataProtectionKeychain = true;
    query.keychain = keychainRef_;
    return query;
}

// Counts, per key, the writes and removals asked for and not yet done. Touched only on the
// cache queue. While a key has one, reads skip the cache and queue behind it on the keychain
// queue, and what they read is not cached: it may be older than the change.
struct UTLKeychainStorage::PendingChanges {
    std::map<std::string, int> counts;
    bool any(const std::string& key) const { return counts.contains(key); }
    void begin(const std::string& key) { ++counts[key]; }
    void end(const std::string& key) {
        if (--counts[key] <= 0) counts.erase(key);
    }
};

void UTLKeychainStorage::get(const std::string& key, ObjectClass objectClass,
                             const std::optional<std::string>& accessGroup, bool lookInCache,
                             Completion completion) {
    // The work captures what it needs, never `this`: it may outlive the storage object.
    auto readFromKeychain = [query = keychainQueryWithKey(key, accessGroup), key, objectClass,
                             cache = cache_, pending = pending_, cacheQueue = inMemoryCacheQueue_,
                             completion] {
        ErrorRef error;
        const auto data = UTLKeychainUtils::getItemWithQuery(query, &error);
        if (error || !data) return completion(nullptr, error);
        std::string problem;
        auto object = objectClass.decode(*data, &problem);
        if (!object)
            return completion(nullptr, Error::make(kArchiveErrorDomain, 0,
                                                   {{Error::kFailureReasonKey, problem}}));
        cacheQueue.async([cache, pending, key, name = objectClass.name, object, completion] {
            if (!pending->any(key)) cache->setObject(UTLCachedObject{name, object}, key);
            completion(object, nullptr);
        });
    };
    if (!lookInCache) return keychainQueue_.async(std::move(readFromKeychain));
    inMemoryCacheQueue_.async([cache = cache_, pending = pending_, key, name = objectClass.name,
                               completion, keychainQueue = keychainQueue_,
                               readFromKeychain = std::move(readFromKeychain)]() mutable {
        if (!pending->any(key)) {
            auto cached = cache->objectForKey(key);
            if (cached && cached->className == name) return completion(cached->object, nullptr);
        }
        keychainQueue.async(std::move(readFromKeychain));
    });
}

void UTLKeychainStorage::set(UTLCachedObject object, std::function<std::string()> encode,
                             const std::string& key, const std::optional<std::string>& accessGroup,
                             Completion completion) {
    // The object enters the cache only once it is stored: a failed write leaves the cache,
    // and so every later read, with what the keychain holds.
    inMemoryCacheQueue_.async([query = keychainQueryWithKey(key, accessGroup), key,
                               object = std::move(object), encode = std::move(encode),
                               cache = cache_, pending = pending_, cacheQueue = inMemoryCacheQueue_,
                               keychainQueue = keychainQueue_, completion] {
        pending->begin(key);
        keychainQueue.async([=] {
            ErrorRef error;
            if (!UTLKeychainUtils::setItem(encode(), query, &error)) {
                cacheQueue.async([=] { pending->end(key); });
                return completion(nullptr, error);
            }
            cacheQueue.async([=] {
                pending->end(key);
                cache->setObject(object, key);
                completion(object.object, nullptr);
            });
        });
    });
}

void UTLKeychainStorage::removeObjectForKey(const std::string& key,
                                            const std::optional<std::string>& accessGroup,
                                            RemoveCompletion completion) {
    inMemoryCacheQueue_.async([query = keychainQueryWithKey(key, accessGroup), key, cache = cache_,
                               pending = pending_, cacheQueue = inMemoryCacheQueue_,
                               keychainQueue = keychainQueue_, completion] {
        pending->begin(key);
        cache->removeObjectForKey(key);
        keychainQueue.async([=] {
            ErrorRef error;
            UTLKeychainUtils::removeItemWithQuery(query, &error);
            cacheQueue.async([=] { pending->end(key); });
            if (completion) completion(error);
        });
    });
}

void UTLKeychainStorage::resetInMemoryCache() {
    cache_->removeAllObjects();
}

}  // namespace pex
