#pragma once
// Secure items as files: a folder private to the user (0700) with one file per item (0600),
// each written atomically and named after a digest of the item's identity, so no text of the
// caller ever becomes part of a path. The files are not encrypted: they are as safe as the
// user's account. Files that cannot be read as items are left alone and ignored.
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/security/SecureItem.h"
#include "platform/security/SecureItemStore.h"

namespace pex {

class FileSecureItemStore : public SecureItemStore {
  public:
    // In "Keychain" under the application support folder, looked up at every call.
    FileSecureItemStore() = default;
    explicit FileSecureItemStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

    SecStatus copyMatching(const SecureItemQuery& query, std::string* data) override;
    SecStatus add(const SecureItemAttributes& attributes, const std::string& accessible,
                  const std::string& data) override;
    SecStatus update(const SecureItemQuery& query, const std::string& data) override;
    SecStatus remove(const SecureItemQuery& query) override;

    std::filesystem::path folder() const;

  private:
    struct StoredItem {
        std::filesystem::path file;
        SecureItem item;
    };
    std::vector<StoredItem> load(const std::filesystem::path& folder) const;
    static SecStatus write(const std::filesystem::path& file, const SecureItem& item);

    std::optional<std::filesystem::path> folder_;
    std::mutex mutex_;  // one call at a time within the process
};

}  // namespace pex
