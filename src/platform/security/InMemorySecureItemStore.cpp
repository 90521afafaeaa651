#include "platform/security/InMemorySecureItemStore.h"

#include <algorithm>

#include "platform/security/SecureItemList.h"

namespace pex {

std::optional<SecStatus> InMemorySecureItemStore::begin(Operation operation) {
    ++calls_[operation];
    if (auto once = forcedOnce_.find(operation); once != forcedOnce_.end()) {
        const SecStatus status = once->second;
        forcedOnce_.erase(once);
        return status;
    }
    auto forced = forced_.find(operation);
    if (forced == forced_.end()) return std::nullopt;
    return forced->second;
}

SecStatus InMemorySecureItemStore::copyMatching(const SecureItemQuery& query, std::string* data) {
    std::lock_guard lock(mutex_);
    if (auto forced = begin(Operation::CopyMatching)) return *forced;
    return SecureItemList::copyMatching(items_, query, data);
}

SecStatus InMemorySecureItemStore::add(const SecureItemAttributes& attributes,
                                       const std::string& accessible, const std::string& data) {
    std::lock_guard lock(mutex_);
    if (auto forced = begin(Operation::Add)) return *forced;
    return SecureItemList::add(items_, attributes, accessible, data);
}

SecStatus InMemorySecureItemStore::update(const SecureItemQuery& query, const std::string& data) {
    std::lock_guard lock(mutex_);
    if (auto forced = begin(Operation::Update)) return *forced;
    return SecureItemList::update(items_, query, data);
}

SecStatus InMemorySecureItemStore::remove(const SecureItemQuery& query) {
    std::lock_guard lock(mutex_);
    if (auto forced = begin(Operation::Remove)) return *forced;
    return SecureItemList::remove(items_, query);
}

void InMemorySecureItemStore::forceStatus(Operation operation, SecStatus status) {
    std::lock_guard lock(mutex_);
    forced_[operation] = status;
}

void InMemorySecureItemStore::forceStatusOnce(Operation operation, SecStatus status) {
    std::lock_guard lock(mutex_);
    forcedOnce_[operation] = status;
}

void InMemorySecureItemStore::clearForcedStatuses() {
    std::lock_guard lock(mutex_);
    forced_.clear();
    forcedOnce_.clear();
}

int InMemorySecureItemStore::callCount(Operation operation) const {
    std::lock_guard lock(mutex_);
    auto found = calls_.find(operation);
    return found == calls_.end() ? 0 : found->second;
}

std::vector<SecureItem> InMemorySecureItemStore::items() const {
    std::lock_guard lock(mutex_);
    return items_;
}

}  // namespace pex
