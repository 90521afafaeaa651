#include "beacon-core/installations/BCNInstallationsIIDStore.h"

#include <openssl/sha.h>

#include "beacon-core/installations/BCNInstallationsErrorUtil.h"
#include "beacon-core/installations/BCNInstallationsItem.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StandardFolders.h"
#include "platform/security/SecureItemStore.h"

namespace pex {
namespace fs = std::filesystem;

namespace {

DispatchQueue workQueue() {
    return DispatchQueue::global(QualityOfService::Utility);
}

std::optional<PropertyList> readPlist(const fs::path& path, std::error_code& error) {
    auto bytes = AtomicFile::read(path, error);
    if (!bytes) return std::nullopt;
    return PropertyList::parse(*bytes);
}

}  // namespace

fs::path BCNInstallationsIIDStore::plistPath() {
    return StandardFolders::applicationSupport() / "Beacon" / "BeaconInstanceID" /
           "com.beacon.iid-keypair.plist";
}

bool BCNInstallationsIIDStore::hasPlistIIDFlag() {
    std::error_code error;
    auto plist = readPlist(plistPath(), error);
    return plist && plist->is<PropertyList::Dictionary>() && plist->find(kPlistFlagKey);
}

std::optional<std::string> BCNInstallationsIIDStore::keychainKeyTagWithPrefix(
    const std::string& prefix) {
    const std::string bundleIdentifier = Bundle::main().bundleIdentifier();
    if (bundleIdentifier.empty()) return std::nullopt;
    return prefix + bundleIdentifier;
}

SecureItemQuery BCNInstallationsIIDStore::keyPairQueryWithTag(const std::string& tag) const {
    SecureItemQuery query;
    query.attributes.itemClass = SecItemClass::Key;
    query.attributes.applicationTag = tag;
    query.attributes.keyType = kSecKeyTypeRSA;
    query.keychain = keychainRef;
    return query;
}

std::optional<std::string> BCNInstallationsIIDStore::IIDPublicKeyData() const {
    // Without a tag the query would match every RSA key on the machine, none of them ours.
    const auto tag = keychainKeyTagWithPrefix(kPublicKeyTagPrefix);
    if (!tag) return std::nullopt;
    const SecureItemQuery query = keyPairQueryWithTag(*tag);
    std::string data;
    if (SecureItemStore::forQuery(query)->copyMatching(query, &data) != kSecStatusSuccess)
        return std::nullopt;
    return data;
}

std::string BCNInstallationsIIDStore::sha1WithData(std::string_view data) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string BCNInstallationsIIDStore::base64URLEncodedStringWithData(std::string_view data) {
    std::string encoded = BCNInstallationsItem::base64URLEncodedStringWithData(data);
    std::erase(encoded, '=');
    return encoded;
}

std::string BCNInstallationsIIDStore::IIDWithPublicKeyData(std::string_view publicKeyData) {
    std::string digest = sha1WithData(publicKeyData);
    digest[0] = static_cast<char>(0x70 | (static_cast<unsigned char>(digest[0]) & 0x0F));
    return base64URLEncodedStringWithData(std::string_view(digest).substr(0, 8));
}

PRMPromiseRef BCNInstallationsIIDStore::existingIID() const {
    return PRMPromise::doWork(workQueue(),
                              [store = *this]() -> PRMValue {
                                  if (!hasPlistIIDFlag()) return PRMValue();
                                  // A flag without its key is no identity: an identifier
                                  // derived from no bytes would be the same on every machine.
                                  auto keyData = store.IIDPublicKeyData();
                                  if (!keyData || keyData->empty()) return PRMValue();
                                  return PRMValue::box(IIDWithPublicKeyData(*keyData));
                              })
        ->validate(workQueue(), [](const PRMValue& value) {
            const auto* identifier = value.as<std::string>();
            return identifier && !identifier->empty();
        });
}

bool BCNInstallationsIIDStore::deleteIIDFlagFromPlist(ErrorRef* error) {
    const fs::path path = plistPath();
    std::error_code readError;
    auto bytes = AtomicFile::read(path, readError);
    if (!bytes) {
        if (readError == std::errc::no_such_file_or_directory) return true;
        if (error)
            *error = BCNInstallationsErrorUtil::installationsErrorWithCode(
                BCNInstallationsErrorUtil::kErrorCodeUnknown,
                "Cannot read " + path.string() + ": " + readError.message(), nullptr);
        return false;
    }
    auto plist = PropertyList::parse(*bytes);
    const auto* entries = plist ? plist->get<PropertyList::Dictionary>() : nullptr;
    if (!entries) {
        // Not ours to overwrite: a file we cannot read as a dictionary is left as it is.
        if (error)
            *error = BCNInstallationsErrorUtil::installationsErrorWithCode(
                BCNInstallationsErrorUtil::kErrorCodeUnknown,
                path.string() + " is not a property-list dictionary", nullptr);
        return false;
    }
    PropertyList::Dictionary remaining = *entries;
    remaining.erase(kPlistFlagKey);
    if (auto writeError =
            AtomicFile::write(path, PropertyList(remaining).serialize(PropertyList::Format::Xml))) {
        if (error)
            *error = BCNInstallationsErrorUtil::installationsErrorWithCode(
                BCNInstallationsErrorUtil::kErrorCodeUnknown,
                "Cannot write " + path.string() + ": " + writeError.message(), nullptr);
        return false;
    }
    return true;
}

bool BCNInstallationsIIDStore::deleteKeychainKeyWithTagPrefix(const std::string& prefix,
                                                              ErrorRef* error) const {
    // No tag, nothing of ours to delete (an untagged query would delete every RSA key).
    const auto tag = keychainKeyTagWithPrefix(prefix);
    if (!tag) return true;
    const SecureItemQuery query = keyPairQueryWithTag(*tag);
    const SecStatus status = SecureItemStore::forQuery(query)->remove(query);
    if (status == kSecStatusSuccess || status == kSecStatusItemNotFound) return true;
    if (error)
        *error = BCNInstallationsErrorUtil::keychainErrorWithFunction("SecItemDelete", status);
    return false;
}

bool BCNInstallationsIIDStore::deleteIID(ErrorRef* error) const {
    return deleteKeychainKeyWithTagPrefix(kPublicKeyTagPrefix, error) &&
           deleteKeychainKeyWithTagPrefix(kPrivateKeyTagPrefix, error);
}

PRMPromiseRef BCNInstallationsIIDStore::deleteExistingIID() const {
    return PRMPromise::doWork(workQueue(), [store = *this]() -> PRMValue {
        ErrorRef error;
        if (!deleteIIDFlagFromPlist(&error) || !store.deleteIID(&error)) return error;
        return PRMValue();
    });
}

}  // namespace pex
