#pragma once
// The keychain calls of the utilities, over the secure item store: reading one item's data,
// writing (update or add), deleting, and turning a failed call's status into an error.
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/security/SecureItemQuery.h"

namespace pex {

class UTLKeychainUtils {
  public:
    static constexpr const char* kErrorDomain = "com.utl.keychain.ErrorDomain";

    // The data of the item; none with no error when there is no item; none with an error
    // named after "SecItemCopyMatching" for any other failure.
    static std::optional<std::string> getItemWithQuery(const SecureItemQuery& query,
                                                       ErrorRef* error);
    // Updates the existing item's data, or adds a new item readable after first unlock on
    // this device only.
    static bool setItem(const std::string& data, const SecureItemQuery& query, ErrorRef* error);
    // Nothing to delete counts as success.
    static bool removeItemWithQuery(const SecureItemQuery& query, ErrorRef* error);
    static SecureItemQuery multiplatformQueryWithQuery(SecureItemQuery query);
    // Code 0, failure reason "<function> (<status>)". Not the installations' factory of the
    // same name, which makes code-1 errors in its own domain.
    static ErrorRef keychainErrorWithFunction(const std::string& function, SecStatus status);
};

}  // namespace pex
