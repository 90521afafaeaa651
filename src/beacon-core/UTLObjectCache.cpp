#include "beacon-core/UTLObjectCache.h"

namespace pex {

std::optional<UTLCachedObject> UTLObjectCache::objectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto found = index_.find(key);
    if (found == index_.end()) return std::nullopt;
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->object;
}

void UTLObjectCache::setObject(UTLCachedObject object, const std::string& key) {
    std::lock_guard lock(mutex_);
    if (auto found = index_.find(key); found != index_.end()) {
        found->second->object = std::move(object);
        entries_.splice(entries_.begin(), entries_, found->second);
        return;
    }
    entries_.push_front(Entry{key, std::move(object)});
    index_[key] = entries_.begin();
    if (countLimit_ > 0 && entries_.size() > countLimit_) {
        index_.erase(entries_.back().key);
        entries_.pop_back();
    }
}

void UTLObjectCache::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto found = index_.find(key);
    if (found == index_.end()) return;
    entries_.erase(found->second);
    index_.erase(found);
}

void UTLObjectCache::removeAllObjects() {
    std::lock_guard lock(mutex_);
    entries_.clear();
    index_.clear();
}

std::size_t UTLObjectCache::count() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

}  // namespace pex
