#pragma once
// The default token that the older instance-ID SDK archived in the keychain, found by its
// generic attribute, the bundle identifier and the push sender ID. Work runs on the global
// utility queue; results are promises.
#include <optional>
#include <string>
#include <string_view>

#include "beacon-core/PRMPromise.h"
#include "platform/foundation/Error.h"
#include "platform/security/SecureItemQuery.h"

namespace pex {

class BCNInstallationsIIDTokenStore {
  public:
    static constexpr const char* kGenericAttribute = "com.beacon.iid-tokens";

    explicit BCNInstallationsIIDTokenStore(std::string pushSenderID)
        : PushSenderID(std::move(pushSenderID)) {}

    // Fulfilled with the token text; rejected with the keychain's error, or with the
    // corrupted-data error when there is no item, no archive or an empty token.
    PRMPromiseRef existingIIDDefaultToken() const;

    const std::string PushSenderID;

    // ---- Steps ----
    std::optional<std::string> IIDDefaultTokenData(ErrorRef* error) const;
    static std::optional<std::string> IIDCheckinWithData(std::string_view data, ErrorRef* error);
    SecureItemQuery IIDDefaultTokenDataKeychainQuery() const;
    static std::string IIDAppIdentifier();
    static std::string serviceKeyForAuthorizedEntity(const std::string& entity,
                                                     const std::string& scope);
};

}  // namespace pex
