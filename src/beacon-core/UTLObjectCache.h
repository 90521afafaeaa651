#pragma once
// A small in-memory cache from key to object that keeps at most `countLimit` entries,
// forgetting the least recently used one first (0: no limit). Each entry remembers the class
// name it was stored as, so a reader that expects another class sees nothing. Safe from any
// thread.
#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pex {

struct UTLCachedObject {
    std::string className;
    std::shared_ptr<const void> object;
};

class UTLObjectCache {
  public:
    explicit UTLObjectCache(std::size_t countLimit = 0) : countLimit_(countLimit) {}

    std::optional<UTLCachedObject> objectForKey(const std::string& key);
    void setObject(UTLCachedObject object, const std::string& key);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();
    std::size_t count() const;
    std::size_t countLimit() const { return countLimit_; }

  private:
    struct Entry {
        std::string key;
        UTLCachedObject object;
    };
    const std::size_t countLimit_;
    mutable std::mutex mutex_;
    std::list<Entry> entries_;  // most recently used first
    std::map<std::string, std::list<Entry>::iterator> index_;
};

}  // namespace pex
