// Every secure item store keeps the same contract; each case runs against the file store, the
// in-memory fake and the Secret Service of a private desktop keyring.
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/security/FileSecureItemStore.h"
#include "platform/security/InMemorySecureItemStore.h"
#include "platform/security/SecretServiceItemStore.h"
#include "support/SecretServiceServer.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;

struct StoreKind {
    std::string name;
    std::function<std::shared_ptr<SecureItemStore>(const fs::path& folder)> make;
};

void PrintTo(const StoreKind& kind, std::ostream* out) {
    *out << kind.name;
}

SecureItemAttributes password(std::string service, std::string account,
                              std::optional<std::string> group = std::nullopt) {
    SecureItemAttributes a;
    a.itemClass = SecItemClass::GenericPassword;
    a.service = std::move(service);
    a.account = std::move(account);
    a.accessGroup = std::move(group);
    return a;
}

SecureItemQuery queryFor(const SecureItemAttributes& attributes) {
    SecureItemQuery query;
    query.attributes = attributes;
    return query;
}

class SecureItemStoreContractTest : public test::IsolatedTest,
                                    public ::testing::WithParamInterface<StoreKind> {
  protected:
    void SetUp() override {
        if (GetParam().name == "SecretService") {
            const auto& keyring = test::SecretServiceServer::shared();
            ASSERT_TRUE(keyring.isRunning()) << keyring.log();
            ASSERT_TRUE(SecretServiceItemStore::answers()) << "the private keyring does not answer";
        }
        // Each run gets its own service names, so a real keyring never sees another run's items.
        prefix = "org.pexmora.contract." + std::to_string(::getpid()) + "." +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".";
        store = GetParam().make(root() / "items");
    }
    void TearDown() override {
        if (!store) return;
        for (const char* service : {"a", "b", "tokens"}) {
            SecureItemQuery all;
            all.attributes.service = prefix + service;
            store->remove(all);
        }
        SecureItemQuery keys;
        keys.attributes.itemClass = SecItemClass::Key;
        keys.attributes.applicationTag = prefix + "tag";
        store->remove(keys);
    }
    std::string read(const SecureItemQuery& query, SecStatus expected = kSecStatusSuccess) {
        std::string data;
        EXPECT_EQ(store->copyMatching(query, &data), expected);
        return data;
    }

    std::string prefix;
    std::shared_ptr<SecureItemStore> store;
};

TEST_P(SecureItemStoreContractTest, AddCopyUpdateDeleteWithTheirStatuses) {
    const auto item = password(prefix + "a", "account");
    EXPECT_EQ(read(queryFor(item), kSecStatusItemNotFound), "");
    EXPECT_EQ(store->update(queryFor(item), "x"), kSecStatusItemNotFound);
    EXPECT_EQ(store->remove(queryFor(item)), kSecStatusItemNotFound);

    const std::string secret("first\0bytes\xff", 12);
    ASSERT_EQ(store->add(item, kSecAccessibleAfterFirstUnlockThisDeviceOnly, secret),
              kSecStatusSuccess);
    EXPECT_EQ(read(queryFor(item)), secret);
    EXPECT_EQ(store->add(item, kSecAccessibleAfterFirstUnlockThisDeviceOnly, "again"),
              kSecStatusDuplicateItem);
    EXPECT_EQ(read(queryFor(item)), secret);

    EXPECT_EQ(store->update(queryFor(item), "second"), kSecStatusSuccess);
    EXPECT_EQ(read(queryFor(item)), "second");

    EXPECT_EQ(store->remove(queryFor(item)), kSecStatusSuccess);
    read(queryFor(item), kSecStatusItemNotFound);
    EXPECT_EQ(store->remove(queryFor(item)), kSecStatusItemNotFound);
}

TEST_P(SecureItemStoreContractTest, ServiceAccountAndAccessGroupEachTellItemsApart) {
    const auto plain = password(prefix + "a", "one");
    const auto otherAccount = password(prefix + "a", "two");
    const auto otherService = password(prefix + "b", "one");
    const auto grouped = password(prefix + "a", "one", "group.one");
    int n = 0;
    for (const auto& item : {plain, otherAccount, otherService, grouped})
        ASSERT_EQ(store->add(item, "", "value" + std::to_string(n++)), kSecStatusSuccess);
    EXPECT_EQ(read(queryFor(otherAccount)), "value1");
    EXPECT_EQ(read(queryFor(otherService)), "value2");
    EXPECT_EQ(read(queryFor(grouped)), "value3");

    // Deleting by service alone takes every item of that service and nothing else.
    SecureItemQuery service;
    service.attributes.service = prefix + "a";
    EXPECT_EQ(store->remove(service), kSecStatusSuccess);
    read(queryFor(plain), kSecStatusItemNotFound);
    read(queryFor(grouped), kSecStatusItemNotFound);
    EXPECT_EQ(read(queryFor(otherService)), "value2");
}

TEST_P(SecureItemStoreContractTest, QueriesByGenericAttributeAndByKeyTagAndType) {
    auto token = password(prefix + "tokens", "com.example.app");
    token.generic = "com.beacon.iid-tokens";
    ASSERT_EQ(store->add(token, "", "token archive"), kSecStatusSuccess);
    SecureItemQuery byGeneric;
    byGeneric.attributes.itemClass = SecItemClass::GenericPassword;
    byGeneric.attributes.generic = "com.beacon.iid-tokens";
    byGeneric.attributes.service = prefix + "tokens";
    EXPECT_EQ(read(byGeneric), "token archive");
    byGeneric.attributes.generic = "other";
    read(byGeneric, kSecStatusItemNotFound);

    SecureItemAttributes key;
    key.itemClass = SecItemClass::Key;
    key.applicationTag = prefix + "tag";
    key.keyType = kSecKeyTypeRSA;
    ASSERT_EQ(store->add(key, "", "public key"), kSecStatusSuccess);
    EXPECT_EQ(read(queryFor(key)), "public key");
    SecureItemQuery wrongType = queryFor(key);
    wrongType.attributes.keyType = "EC";
    read(wrongType, kSecStatusItemNotFound);
    // A key is not a password, even with the same other attributes.
    SecureItemQuery asPassword = queryFor(key);
    asPassword.attributes.itemClass = SecItemClass::GenericPassword;
    read(asPassword, kSecStatusItemNotFound);
}

TEST_P(SecureItemStoreContractTest, AnItemWithoutAClassIsRefused) {
    SecureItemAttributes noClass;
    noClass.service = prefix + "a";
    EXPECT_EQ(store->add(noClass, "", "x"), kSecStatusParam);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, SecureItemStoreContractTest,
    ::testing::Values(
        StoreKind{
            "File",
            [](const fs::path& folder) { return std::make_shared<FileSecureItemStore>(folder); }},
        StoreKind{"InMemory",
                  [](const fs::path&) { return std::make_shared<InMemorySecureItemStore>(); }},
        StoreKind{"SecretService",
                  [](const fs::path&) { return std::make_shared<SecretServiceItemStore>(); }}),
    [](const auto& info) { return info.param.name; });

// ---- What only the file store promises ----

class FileSecureItemStoreTest : public test::IsolatedTest {};

TEST_F(FileSecureItemStoreTest, FolderAndFilesArePrivateAndNamedByDigestOnly) {
    FileSecureItemStore store;  // the default folder, under the application support folder
    ASSERT_EQ(store.add(password("../../etc/passwd", "/tmp/evil"), "", "secret"),
              kSecStatusSuccess);
    const fs::path folder = store.folder();
    EXPECT_TRUE(folder.string().starts_with(root().string()));
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        ++files;
        ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(entry.path().filename().string().size(), 64u + 5u);  // hex digest + ".item"
    }
    EXPECT_EQ(files, 1);
}

TEST_F(FileSecureItemStoreTest, ItemsSurviveANewStoreAndForeignFilesAreIgnored) {
    const fs::path folder = root() / "items";
    ASSERT_EQ(FileSecureItemStore(folder).add(password("s", "a"), "", "kept"), kSecStatusSuccess);
    { std::ofstream(folder / "garbage.item") << "not an item"; }
    FileSecureItemStore again(folder);
    std::string data;
    EXPECT_EQ(again.copyMatching(queryFor(password("s", "a")), &data), kSecStatusSuccess);
    EXPECT_EQ(data, "kept");
    EXPECT_TRUE(fs::exists(folder / "garbage.item"));
}

TEST_F(FileSecureItemStoreTest, AFolderThatCannotBeMadeGivesAnIOStatus) {
    std::ofstream(root() / "blocker") << "a file where the folder should be";
    FileSecureItemStore store(root() / "blocker" / "items");
    EXPECT_EQ(store.add(password("s", "a"), "", "x"), kSecStatusIO);
}

// ---- The fake's injected statuses ----

TEST(InMemorySecureItemStoreTest, ForcedStatusesAnswerAndChangeNothingUntilCleared) {
    InMemorySecureItemStore store;
    const auto item = password("s", "a");
    store.forceStatus(InMemorySecureItemStore::Operation::Add, kSecStatusNotAvailable);
    EXPECT_EQ(store.add(item, "", "x"), kSecStatusNotAvailable);
    EXPECT_TRUE(store.items().empty());
    store.clearForcedStatuses();
    EXPECT_EQ(store.add(item, "", "x"), kSecStatusSuccess);
    store.forceStatus(InMemorySecureItemStore::Operation::CopyMatching, kSecStatusIO);
    std::string data;
    EXPECT_EQ(store.copyMatching(queryFor(item), &data), kSecStatusIO);
    EXPECT_EQ(store.callCount(InMemorySecureItemStore::Operation::Add), 2);
    EXPECT_EQ(store.callCount(InMemorySecureItemStore::Operation::CopyMatching), 1);
}

TEST(SecureItemStoreTest, AQueryWithItsOwnStoreGoesThereNotToTheCurrentOne) {
    auto current = std::make_shared<InMemorySecureItemStore>();
    SecureItemStore::setCurrent(current);
    InMemorySecureItemStore own;
    SecureItemQuery query;
    EXPECT_EQ(SecureItemStore::forQuery(query).get(), current.get());
    query.keychain = &own;
    EXPECT_EQ(SecureItemStore::forQuery(query).get(), &own);
    SecureItemStore::setCurrent(nullptr);
}

}  // namespace
}  // namespace pex
