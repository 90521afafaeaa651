#pragma once
// Installation records across launches. The record lives in the keychain storage; beside it a
// flag in a settings suite says that a record for this key was written, and a record is read
// only when its flag is set. Every operation answers with a promise; flag reads and writes
// are serialised on the store's own queue.
#include <memory>
#include <optional>
#include <string>

#include "beacon-core/PRMPromise.h"
#include "beacon-core/UTLKeychainStorage.h"
#include "beacon-core/UTLUserDefaults.h"
#include "beacon-core/installations/BCNInstallationsItem.h"

namespace pex {

class BCNInstallationsStore {
  public:
    static constexpr const char* kUserDefaultsSuiteName = "com.beacon.BCNInstallations";
    static constexpr const char* kKeychainServicePrefix =
        "com.beacon.BCNInstallations.installations";

    // The keychain service of the records of one Beacon app ID.
    static std::string keychainServiceForAppID(const std::string& appID);

    BCNInstallationsStore(std::shared_ptr<UTLKeychainStorage> secureStorage,
                          std::optional<std::string> accessGroup);

    // Fulfilled with a boxed BCNInstallationsItem; rejected with the not-found error when
    // there is no flag or no record, or with the keychain's error.
    PRMPromiseRef installationForAppID(const std::string& appID, const std::string& appName);
    // Fulfilled with null once the record and then its flag are written.
    PRMPromiseRef saveInstallation(const BCNInstallationsItem& item);
    // Fulfilled with null once the record is removed and then its flag cleared.
    PRMPromiseRef removeInstallationForAppID(const std::string& appID, const std::string& appName);
    // Fulfilled with null when the flag is set; rejected with the not-found error otherwise.
    PRMPromiseRef installationExistsForAppID(const std::string& appID, const std::string& appName);
    PRMPromiseRef setInstallationExists(bool exists, const std::string& identifier);

    const std::optional<std::string>& accessGroup() const { return accessGroup_; }
    const std::shared_ptr<UTLKeychainStorage>& secureStorage() const { return secureStorage_; }

  private:
    // The continuations use this, not the store: they may run after the store is gone.
    static PRMPromiseRef setFlag(const DispatchQueue& queue,
                                 const std::shared_ptr<UTLUserDefaults>& defaults, bool exists,
                                 const std::string& identifier);

    const std::shared_ptr<UTLKeychainStorage> secureStorage_;
    const std::optional<std::string> accessGroup_;
    const DispatchQueue queue_;
    const std::shared_ptr<UTLUserDefaults> userDefaults_;
};

}  // namespace pex
