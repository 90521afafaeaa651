#include "beacon-core/UTLKeychainUtils.h"

#include "platform/security/SecureItemStore.h"

namespace pex {
namespace {

void setError(ErrorRef* out, ErrorRef error) {
    if (out) *out = std::move(error);
}

}  // namespace

std::optional<std::string> UTLKeychainUtils::getItemWithQuery(const SecureItemQuery& query,
                                                              ErrorRef* error) {
    const SecureItemQuery read = multiplatformQueryWithQuery(query);
    std::string data;
    const SecStatus status = SecureItemStore::forQuery(read)->copyMatching(read, &data);
    if (status == kSecStatusSuccess) return data;
    if (status != kSecStatusItemNotFound)
        setError(error, keychainErrorWithFunction("SecItemCopyMatching", status));
    return std::nullopt;
}

bool UTLKeychainUtils::setItem(const std::string& data, const SecureItemQuery& query,
                               ErrorRef* error) {
    ErrorRef readError;
    const auto existing = getItemWithQuery(query, &readError);
    if (readError) {
        setError(error, readError);
        return false;
    }
    const SecureItemQuery write = multiplatformQueryWithQuery(query);
    auto store = SecureItemStore::forQuery(write);
    const char* function = existing ? "SecItemUpdate" : "SecItemAdd";
    const SecStatus status =
        existing ? store->update(write, data)
                 : store->add(write.attributes, kSecAccessibleAfterFirstUnlockThisDeviceOnly, data);
    if (status == kSecStatusSuccess) return true;
    setError(error, keychainErrorWithFunction(function, status));
    return false;
}

bool UTLKeychainUtils::removeItemWithQuery(const SecureItemQuery& query, ErrorRef* error) {
    const SecureItemQuery remove = multiplatformQueryWithQuery(query);
    const SecStatus status = SecureItemStore::forQuery(remove)->remove(remove);
    if (status == kSecStatusSuccess || status == kSecStatusItemNotFound) return true;
    setError(error, keychainErrorWithFunction("SecItemDelete", status));
    return false;
}

SecureItemQuery UTLKeychainUtils::multiplatformQueryWithQuery(SecureItemQuery query) {
    query.useDataProtectionKeychain = true;
    return query;
}

ErrorRef UTLKeychainUtils::keychainErrorWithFunction(const std::string& function,
                                                     SecStatus status) {
    return Error::make(
        kErrorDomain, 0,
        {{Error::kFailureReasonKey, function + " (" + std::to_string(status) + ")"}});
}

}  // namespace pex
