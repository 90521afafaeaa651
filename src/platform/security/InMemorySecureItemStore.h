#pragma once
// A secure item store in memory, for tests. A test may force the status of any operation
// (the items stay as they are then) and count the calls each operation received.
#include <map>
#include <mutex>
#include <vector>

#include "platform/security/SecureItem.h"
#include "platform/security/SecureItemStore.h"

namespace pex {

class InMemorySecureItemStore : public SecureItemStore {
  public:
    enum class Operation { CopyMatching, Add, Update, Remove };

    SecStatus copyMatching(const SecureItemQuery& query, std::string* data) override;
    SecStatus add(const SecureItemAttributes& attributes, const std::string& accessible,
                  const std::string& data) override;
    SecStatus update(const SecureItemQuery& query, const std::string& data) override;
    SecStatus remove(const SecureItemQuery& query) override;

    // Every later call of `operation` answers `status` and changes nothing.
    void forceStatus(Operation operation, SecStatus status);
    // Only the next call of `operation` answers `status` (a passing failure); later calls
    // work again.
    void forceStatusOnce(Operation operation, SecStatus status);
    void clearForcedStatuses();
    int callCount(Operation operation) const;
    std::vector<SecureItem> items() const;

  private:
    // Counts the call; the forced status when there is one.
    std::optional<SecStatus> begin(Operation operation);

    mutable std::mutex mutex_;
    std::vector<SecureItem> items_;
    std::map<Operation, SecStatus> forced_;
    std::map<Operation, SecStatus> forcedOnce_;
    std::map<Operation, int> calls_;
};

}  // namespace pex
