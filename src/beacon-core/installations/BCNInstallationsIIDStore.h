#pragma once
// The identity that the older instance-ID SDK left behind: a flag in a property-list file
// under the application support folder and an RSA key pair in the keychain, tagged with the
// main bundle's identifier. Its identifier is derived from the public key. Work runs on the
// global utility queue; results are promises.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "beacon-core/PRMPromise.h"
#include "platform/foundation/Error.h"
#include "platform/security/SecureItemQuery.h"

namespace pex {

class BCNInstallationsIIDStore {
  public:
    static constexpr const char* kPlistFlagKey = "|S|cre";
    static constexpr const char* kPublicKeyTagPrefix = "com.beacon.iid.keypair.public-";
    static constexpr const char* kPrivateKeyTagPrefix = "com.beacon.iid.keypair.private-";

    // Fulfilled with the legacy identifier (11 characters); rejected when there is none: no
    // flag, or a flag without its public key.
    PRMPromiseRef existingIID() const;
    // Fulfilled with null once the flag and both keys are gone; rejected with the first error.
    PRMPromiseRef deleteExistingIID() const;

    // Limits key queries to this store (not owned); nothing in the program sets it.
    SecureItemStore* keychainRef = nullptr;

    // ---- Steps ----
    static std::filesystem::path plistPath();
    static bool hasPlistIIDFlag();
    // None when the key is missing or cannot be read.
    std::optional<std::string> IIDPublicKeyData() const;
    static std::string IIDWithPublicKeyData(std::string_view publicKeyData);
    static std::string sha1WithData(std::string_view data);
    static std::string base64URLEncodedStringWithData(std::string_view data);
    // Prefix followed by the bundle identifier; none when there is no bundle identifier.
    static std::optional<std::string> keychainKeyTagWithPrefix(const std::string& prefix);
    SecureItemQuery keyPairQueryWithTag(const std::string& tag) const;
    static bool deleteIIDFlagFromPlist(ErrorRef* error);
    bool deleteIID(ErrorRef* error) const;
    bool deleteKeychainKeyWithTagPrefix(const std::string& prefix, ErrorRef* error) const;
};

}  // namespace pex
