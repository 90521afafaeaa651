#pragma once
// Secure items in the desktop keyring, through the Secret Service (libsecret). Each item is
// one keyring entry of our schema whose attributes are the item's (bytes as hex) and whose
// secret is the whole serialised item. Used only where a keyring answers.
#include "platform/security/SecureItemStore.h"

namespace pex {

class SecretServiceItemStore : public SecureItemStore {
  public:
    // True when a session bus is there and a Secret Service on it has a default collection and
    // answers a search; asked once per process. Never starts a bus or a keyring of its own.
    static bool answers();

    SecStatus copyMatching(const SecureItemQuery& query, std::string* data) override;
    SecStatus add(const SecureItemAttributes& attributes, const std::string& accessible,
                  const std::string& data) override;
    SecStatus update(const SecureItemQuery& query, const std::string& data) override;
    SecStatus remove(const SecureItemQuery& query) override;
};

}  // namespace pex
