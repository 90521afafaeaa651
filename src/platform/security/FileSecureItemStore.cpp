#include "platform/security/FileSecureItemStore.h"

#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/StandardFolders.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

constexpr const char* kItemExtension = ".item";

bool makePrivateFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return false;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
    return !error;
}

}  // namespace

fs::path FileSecureItemStore::folder() const {
    return folder_ ? *folder_ : StandardFolders::applicationSupport() / "Keychain";
}

std::vector<FileSecureItemStore::StoredItem> FileSecureItemStore::load(
    const fs::path& folder) const {
    std::vector<StoredItem> out;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() != kItemExtension) continue;
        std::error_code readError;
        auto bytes = AtomicFile::read(it->path(), readError);
        if (!bytes) continue;
        if (auto item = SecureItem::parse(*bytes)) out.push_back({it->path(), std::move(*item)});
    }
    return out;
}

SecStatus FileSecureItemStore::write(const fs::path& file, const SecureItem& item) {
    return AtomicFile::write(file, item.serialize()) ? kSecStatusIO : kSecStatusSuccess;
}

SecStatus FileSecureItemStore::copyMatching(const SecureItemQuery& query, std::string* data) {
    std::lock_guard lock(mutex_);
    for (const auto& stored : load(folder())) {
        if (!query.attributes.matches(stored.item.attributes)) continue;
        if (data) *data = stored.item.data;
        return kSecStatusSuccess;
    }
    return kSecStatusItemNotFound;
}

SecStatus FileSecureItemStore::add(const SecureItemAttributes& attributes,
                                   const std::string& accessible, const std::string& data) {
    if (!attributes.itemClass) return kSecStatusParam;
    std::lock_guard lock(mutex_);
    const fs::path where = folder();
    if (!makePrivateFolder(where)) return kSecStatusIO;
    for (const auto& stored : load(where))
        if (stored.item.attributes.sameIdentity(attributes)) return kSecStatusDuplicateItem;
    const fs::path file = where / (SecureItem::identityDigest(attributes) + kItemExtension);
    return write(file, SecureItem{attributes, accessible, data});
}

SecStatus FileSecureItemStore::update(const SecureItemQuery& query, const std::string& data) {
    std::lock_guard lock(mutex_);
    bool found = false;
    for (auto& stored : load(folder())) {
        if (!query.attributes.matches(stored.item.attributes)) continue;
        found = true;
        stored.item.data = data;
        if (SecStatus status = write(stored.file, stored.item); status != kSecStatusSuccess)
            return status;
    }
    return found ? kSecStatusSuccess : kSecStatusItemNotFound;
}

SecStatus FileSecureItemStore::remove(const SecureItemQuery& query) {
    std::lock_guard lock(mutex_);
    bool found = false;
    for (const auto& stored : load(folder())) {
        if (!query.attributes.matches(stored.item.attributes)) continue;
        found = true;
        std::error_code error;
        if (!fs::remove(stored.file, error) && error) return kSecStatusIO;
    }
    return found ? kSecStatusSuccess : kSecStatusItemNotFound;
}

}  // namespace pex
