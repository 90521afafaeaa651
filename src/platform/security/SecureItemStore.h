#pragma once
// A store of small secret items, one value per identity (class, service, account, access
// group, application tag, key type), answering with the platform's status codes: success,
// kSecStatusItemNotFound when nothing matches, kSecStatusDuplicateItem when an add would
// store a second item of one identity, others for failures.
//
// The process uses one current store, chosen on first use: the desktop keyring through the
// Secret Service when one answers, else the file store in the user's data folder.
#include <memory>
#include <optional>
#include <string>

#include "platform/security/SecureItemQuery.h"

namespace pex {

class SecureItemStore {
  public:
    virtual ~SecureItemStore() = default;

    // The data of the first item that matches.
    virtual SecStatus copyMatching(const SecureItemQuery& query, std::string* data) = 0;
    // Stores a new item; the attributes must name a class.
    virtual SecStatus add(const SecureItemAttributes& attributes, const std::string& accessible,
                          const std::string& data) = 0;
    // Replaces the data of every item that matches.
    virtual SecStatus update(const SecureItemQuery& query, const std::string& data) = 0;
    // Deletes every item that matches.
    virtual SecStatus remove(const SecureItemQuery& query) = 0;

    // The store a query goes to: its own `keychain`, else the current one.
    static std::shared_ptr<SecureItemStore> forQuery(const SecureItemQuery& query);
    static std::shared_ptr<SecureItemStore> current();
    // Replaces the current store (tests); none chooses again on next use.
    static void setCurrent(std::shared_ptr<SecureItemStore> store);
};

}  // namespace pex
