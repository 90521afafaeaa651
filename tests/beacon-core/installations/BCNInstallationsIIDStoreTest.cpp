// The legacy identity exists only where the older SDK ran; here it is seeded by hand: a flag
// file, an RSA key pair in the (fake) keychain and an archived default token.
#include "beacon-core/installations/BCNInstallationsIIDStore.h"

#include <fstream>

#include <gtest/gtest.h>

#include "beacon-core/installations/BCNInstallationsIIDTokenStore.h"
#include "beacon-core/installations/InstallationsTestSupport.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/KeyedArchive.h"

namespace pex {
namespace {

using Operation = InMemorySecureItemStore::Operation;
constexpr const char* kBundleID = "com.example.pexmora";
constexpr const char* kSenderID = "123456789";

class BCNInstallationsIIDTest : public test::InstallationsTest {
  protected:
    BCNInstallationsIIDTest() { useBundleIdentifier(kBundleID); }
    ~BCNInstallationsIIDTest() override { Bundle::setMainForTesting(std::nullopt); }

    void useBundleIdentifier(const std::string& identifier) {
        const auto folder = dir.path() / "bundle";
        PropertyList::Dictionary info{{"CFBundleIdentifier", PropertyList(identifier)}};
        ASSERT_FALSE(AtomicFile::write(folder / "Info.plist",
                                       PropertyList(info).serialize(PropertyList::Format::Xml)));
        Bundle::setMainForTesting(folder);
    }
    void writeFlagFile(bool withFlag) {
        PropertyList::Dictionary entries{{"other", PropertyList("kept")}};
        if (withFlag) entries["|S|cre"] = PropertyList(PropertyList::Data{1, 2, 3});
        ASSERT_FALSE(AtomicFile::write(BCNInstallationsIIDStore::plistPath(),
                                       PropertyList(entries).serialize(PropertyList::Format::Xml)));
    }
    static SecureItemAttributes key(const std::string& prefix) {
        SecureItemAttributes a;
        a.itemClass = SecItemClass::Key;
        a.applicationTag = prefix + kBundleID;
        a.keyType = kSecKeyTypeRSA;
        return a;
    }
    void seedKeyPair() {
        ASSERT_EQ(keychain->add(key(BCNInstallationsIIDStore::kPublicKeyTagPrefix), "",
                                "public key bytes"),
                  kSecStatusSuccess);
        ASSERT_EQ(keychain->add(key(BCNInstallationsIIDStore::kPrivateKeyTagPrefix), "",
                                "private key bytes"),
                  kSecStatusSuccess);
    }
    void seedToken(const PropertyList::Dictionary& values) {
        SecureItemAttributes a;
        a.itemClass = SecItemClass::GenericPassword;
        a.generic = "com.beacon.iid-tokens";
        a.account = kBundleID;
        a.service = std::string(kSenderID) + ":*";
        ASSERT_EQ(keychain->add(a, "", KeyedArchive::archive("BCNInstanceIDTokenInfo", values)),
                  kSecStatusSuccess);
    }
    PRMPromiseRef settled(PRMPromiseRef promise) {
        EXPECT_TRUE(settle(promise));
        return promise;
    }

    BCNInstallationsIIDStore store;
    BCNInstallationsIIDTokenStore tokenStore{kSenderID};
};

TEST_F(BCNInstallationsIIDTest, AFlagAndAKeyPairGiveAnElevenCharacterIdentifier) {
    writeFlagFile(true);
    seedKeyPair();
    auto iid = settled(store.existingIID());
    ASSERT_TRUE(iid->isFulfilled()) << iid->description();
    const std::string identifier = *iid->value().as<std::string>();
    EXPECT_EQ(identifier.size(), 11u);
    EXPECT_NE(std::string("cdef").find(identifier[0]), std::string::npos) << identifier;
    EXPECT_EQ(identifier.find_first_of("=+/"), std::string::npos);
    EXPECT_EQ(identifier, BCNInstallationsIIDStore::IIDWithPublicKeyData("public key bytes"));
}

TEST_F(BCNInstallationsIIDTest, TheIdentifierIsTheDigestWithItsFirstNibbleFixed) {
    // SHA-1 of "abc" starts a9 99 3e 36 47 06 81 6a; the first byte becomes 0x79.
    EXPECT_EQ(BCNInstallationsIIDStore::IIDWithPublicKeyData("abc"),
              BCNInstallationsIIDStore::base64URLEncodedStringWithData(
                  "\x79\x99\x3e\x36\x47\x06\x81\x6a"));
    EXPECT_EQ(BCNInstallationsIIDStore::IIDWithPublicKeyData("abc"), "eZk-NkcGgWo");
}

TEST_F(BCNInstallationsIIDTest, NoFlagOrNoPublicKeyMeansNoLegacyIdentity) {
    seedKeyPair();
    EXPECT_TRUE(settled(store.existingIID())->isRejected());  // no file at all
    writeFlagFile(false);
    EXPECT_TRUE(settled(store.existingIID())->isRejected());  // a file without the flag

    // A flag whose key is gone must not turn into the identifier of no bytes, which would be
    // the same on every machine.
    writeFlagFile(true);
    SecureItemQuery publicKey;
    publicKey.attributes = key(BCNInstallationsIIDStore::kPublicKeyTagPrefix);
    ASSERT_EQ(keychain->remove(publicKey), kSecStatusSuccess);
    EXPECT_TRUE(settled(store.existingIID())->isRejected());

    // Nor does a machine without a bundle identifier read some other program's key.
    ASSERT_EQ(keychain->add(key(BCNInstallationsIIDStore::kPublicKeyTagPrefix), "", "key"),
              kSecStatusSuccess);
    ASSERT_TRUE(settled(store.existingIID())->isFulfilled());
    useBundleIdentifier("");
    EXPECT_TRUE(settled(store.existingIID())->isRejected());
}

TEST_F(BCNInstallationsIIDTest, DeletingRemovesTheFlagEntryAndBothKeys) {
    writeFlagFile(true);
    seedKeyPair();
    SecureItemAttributes unrelated = key("com.example.other-");
    ASSERT_EQ(keychain->add(unrelated, "", "not ours"), kSecStatusSuccess);

    auto deleted = settled(store.deleteExistingIID());
    ASSERT_TRUE(deleted->isFulfilled()) << deleted->description();
    EXPECT_TRUE(deleted->value().isNull());

    std::error_code error;
    auto plist =
        PropertyList::parse(*AtomicFile::read(BCNInstallationsIIDStore::plistPath(), error));
    ASSERT_TRUE(plist);
    EXPECT_FALSE(plist->find("|S|cre"));
    EXPECT_EQ(*plist->find("other"), PropertyList("kept"));
    ASSERT_EQ(keychain->items().size(), 1u);
    EXPECT_EQ(keychain->items()[0].attributes, unrelated);
    EXPECT_TRUE(settled(store.existingIID())->isRejected());

    // Again, with nothing left to delete.
    EXPECT_TRUE(settled(store.deleteExistingIID())->isFulfilled());
}

TEST_F(BCNInstallationsIIDTest, DeletingWithNothingThereSucceeds) {
    EXPECT_TRUE(settled(store.deleteExistingIID())->isFulfilled());
    EXPECT_FALSE(std::filesystem::exists(BCNInstallationsIIDStore::plistPath()));
}

TEST_F(BCNInstallationsIIDTest, AKeychainFailureStopsBeforeThePrivateKey) {
    seedKeyPair();
    keychain->forceStatus(Operation::Remove, kSecStatusNotAvailable);
    auto deleted = settled(store.deleteExistingIID());
    ASSERT_TRUE(deleted->isRejected());
    EXPECT_EQ(deleted->error()->domain(), "com.beacon.installations");
    EXPECT_EQ(deleted->error()->code(), 1);
    EXPECT_EQ(deleted->error()->failureReason(), "SecItemDelete (-25291)");
    EXPECT_EQ(keychain->callCount(Operation::Remove), 1);
}

TEST_F(BCNInstallationsIIDTest, AFlagFileThatIsNotAPropertyListIsLeftAlone) {
    ASSERT_FALSE(AtomicFile::write(BCNInstallationsIIDStore::plistPath(), "not a plist"));
    EXPECT_TRUE(settled(store.deleteExistingIID())->isRejected());
    std::error_code error;
    EXPECT_EQ(AtomicFile::read(BCNInstallationsIIDStore::plistPath(), error), "not a plist");
}

TEST_F(BCNInstallationsIIDTest, TheArchivedDefaultTokenIsRead) {
    seedToken({{"token", PropertyList("legacy-token")}, {"other", PropertyList(1)}});
    auto token = settled(tokenStore.existingIIDDefaultToken());
    ASSERT_TRUE(token->isFulfilled()) << token->description();
    EXPECT_EQ(*token->value().as<std::string>(), "legacy-token");
}

TEST_F(BCNInstallationsIIDTest, MissingEmptyOrUnreadableTokensAreRejected) {
    const std::string corrupted =
        "IID token data stored in Keychain is corrupted or in an incompatible format.";
    auto none = settled(tokenStore.existingIIDDefaultToken());
    ASSERT_TRUE(none->isRejected());
    EXPECT_EQ(none->error()->failureReason(), corrupted);

    seedToken({{"token", PropertyList("")}});
    auto empty = settled(tokenStore.existingIIDDefaultToken());
    ASSERT_TRUE(empty->isRejected());
    EXPECT_EQ(empty->error()->failureReason(), corrupted);

    // Bytes that are not an archive of the token class.
    SecureItemQuery query = tokenStore.IIDDefaultTokenDataKeychainQuery();
    ASSERT_EQ(keychain->update(query, KeyedArchive::archive("SomethingElse", {})),
              kSecStatusSuccess);
    auto wrong = settled(tokenStore.existingIIDDefaultToken());
    ASSERT_TRUE(wrong->isRejected());
    EXPECT_EQ(wrong->error()->failureReason(), corrupted);

    keychain->forceStatus(Operation::CopyMatching, kSecStatusIO);
    auto failed = settled(tokenStore.existingIIDDefaultToken());
    ASSERT_TRUE(failed->isRejected());
    EXPECT_EQ(failed->error()->failureReason(), "SecItemCopyMatching (-36)");
}

TEST_F(BCNInstallationsIIDTest, TheTokenQueryNamesGenericAttributeAccountAndService) {
    const auto query = tokenStore.IIDDefaultTokenDataKeychainQuery();
    EXPECT_EQ(query.attributes.itemClass, SecItemClass::GenericPassword);
    EXPECT_EQ(query.attributes.generic, "com.beacon.iid-tokens");
    EXPECT_EQ(query.attributes.account, kBundleID);
    EXPECT_EQ(query.attributes.service, "123456789:*");
    useBundleIdentifier("");
    EXPECT_FALSE(tokenStore.IIDDefaultTokenDataKeychainQuery().attributes.account);
}

}  // namespace
}  // namespace pex
