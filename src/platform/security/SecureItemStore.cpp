#include "platform/security/SecureItemStore.h"

#include <mutex>

#include "platform/security/FileSecureItemStore.h"
#include "platform/security/SecretServiceItemStore.h"

namespace pex {
namespace {

std::mutex& currentMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<SecureItemStore>& currentStore() {
    static std::shared_ptr<SecureItemStore> store;
    return store;
}

}  // namespace

std::shared_ptr<SecureItemStore> SecureItemStore::current() {
    std::lock_guard lock(currentMutex());
    auto& store = currentStore();
    if (!store) {
        if (SecretServiceItemStore::answers())
            store = std::make_shared<SecretServiceItemStore>();
        else
            store = std::make_shared<FileSecureItemStore>();
    }
    return store;
}

void SecureItemStore::setCurrent(std::shared_ptr<SecureItemStore> store) {
    std::lock_guard lock(currentMutex());
    currentStore() = std::move(store);
}

std::shared_ptr<SecureItemStore> SecureItemStore::forQuery(const SecureItemQuery& query) {
    // A query's own store is the caller's; the handle does not own it.
    if (query.keychain)
        return std::shared_ptr<SecureItemStore>(std::shared_ptr<void>(), query.keychain);
    return current();
}

}  // namespace pex
