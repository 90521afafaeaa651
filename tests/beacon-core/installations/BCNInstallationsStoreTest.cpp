#include "beacon-core/installations/BCNInstallationsStore.h"

#include <chrono>

#include <gtest/gtest.h>

#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/installations/InstallationsTestSupport.h"
#include "platform/foundation/KeyedArchive.h"

namespace pex {
namespace {

using Operation = InMemorySecureItemStore::Operation;

constexpr const char* kAppID = "1:123:ios:abc";
constexpr const char* kAppName = "__BCNAPP_DEFAULT";

class BCNInstallationsStoreTest : public test::InstallationsTest {
  protected:
    std::shared_ptr<BCNInstallationsStore> makeStore(std::optional<std::string> group = {}) {
        return std::make_shared<BCNInstallationsStore>(
            std::make_shared<UTLKeychainStorage>(
                BCNInstallationsStore::keychainServiceForAppID(kAppID)),
            std::move(group));
    }
    static BCNInstallationsItem registeredItem() {
        BCNInstallationsItem item(kAppID, kAppName);
        item.beaconInstallationID = "fFidFidFidFidFidFidFid";
        item.refreshToken = "refresh";
        item.authToken.setStatus(BCNInstallationsAuthTokenStatus::TokenReceived);
        item.authToken.setToken("token");
        item.authToken.setExpirationDate(BCNDate(std::chrono::seconds(1'800'000'000)));
        item.registrationStatus = BCNInstallationsRegistrationStatus::Registered;
        item.IIDDefaultToken = "legacy";
        return item;
    }
    std::optional<BCNInstallationsItem> read(BCNInstallationsStore& store, ErrorRef* error) {
        auto promise = store.installationForAppID(kAppID, kAppName);
        *error = errorOf(promise);
        const auto* item = promise->value().as<BCNInstallationsItem>();
        return item ? std::optional<BCNInstallationsItem>(*item) : std::nullopt;
    }
    // Writes an archived record straight into the keychain, as an older or newer build would.
    void seedRecord(const PropertyList::Dictionary& values) {
        SecureItemAttributes attributes;
        attributes.itemClass = SecItemClass::GenericPassword;
        attributes.service = BCNInstallationsStore::keychainServiceForAppID(kAppID);
        attributes.account = BCNInstallationsItem::identifierWithAppID(kAppID, kAppName);
        ASSERT_EQ(keychain->add(attributes, "",
                                KeyedArchive::archive("BCNInstallationsStoredItem", values)),
                  kSecStatusSuccess);
    }
    static bool flagSet(const std::string& suite) {
        return UTLUserDefaults(suite)
            .objectForKey(BCNInstallationsItem::identifierWithAppID(kAppID, kAppName))
            .has_value();
    }
    const std::string notFound =
        "Installation for appID 1:123:ios:abc appName __BCNAPP_DEFAULT not found";
};

TEST_F(BCNInstallationsStoreTest, ASavedItemReadsBackEqualInEveryField) {
    auto store = makeStore();
    EXPECT_FALSE(errorOf(store->saveInstallation(registeredItem())));
    EXPECT_TRUE(flagSet("com.beacon.BCNInstallations"));

    // A new store (nothing cached) reads it from the keychain.
    ErrorRef error;
    auto item = read(*makeStore(), &error);
    ASSERT_TRUE(item) << error->description();
    EXPECT_EQ(*item, registeredItem());
    EXPECT_TRUE(loggedLines().empty());
}

TEST_F(BCNInstallationsStoreTest, AFlagWithoutARecordOrARecordWithoutAFlagIsNotFound) {
    auto store = makeStore();
    EXPECT_TRUE(errorOf(store->installationExistsForAppID(kAppID, kAppName)));
    EXPECT_FALSE(errorOf(store->setInstallationExists(
        true, BCNInstallationsItem::identifierWithAppID(kAppID, kAppName))));
    EXPECT_FALSE(errorOf(store->installationExistsForAppID(kAppID, kAppName)));
    ErrorRef error;
    EXPECT_FALSE(read(*store, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failureReason(), notFound);

    EXPECT_FALSE(errorOf(store->saveInstallation(registeredItem())));
    EXPECT_FALSE(errorOf(store->setInstallationExists(
        false, BCNInstallationsItem::identifierWithAppID(kAppID, kAppName))));
    EXPECT_FALSE(read(*store, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failureReason(), notFound);
    EXPECT_EQ(keychain->items().size(), 1u);  // the record is there, unread
}

TEST_F(BCNInstallationsStoreTest, AFailedKeychainWriteFailsTheSaveAndSetsNoFlag) {
    keychain->forceStatus(Operation::Add, kSecStatusNotAvailable);
    const ErrorRef error = errorOf(makeStore()->saveInstallation(registeredItem()));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failureReason(), "SecItemAdd (-25291)");
    EXPECT_FALSE(flagSet("com.beacon.BCNInstallations"));
}

TEST_F(BCNInstallationsStoreTest, AKeychainReadErrorFailsTheRead) {
    auto store = makeStore();
    EXPECT_FALSE(errorOf(store->saveInstallation(registeredItem())));
    keychain->forceStatus(Operation::CopyMatching, kSecStatusIO);
    store->secureStorage()->resetInMemoryCache();
    ErrorRef error;
    EXPECT_FALSE(read(*store, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failureReason(), "SecItemCopyMatching (-36)");
}

TEST_F(BCNInstallationsStoreTest, RemovalTakesRecordAndFlagAndNeedsNothingThere) {
    auto store = makeStore();
    EXPECT_FALSE(errorOf(store->removeInstallationForAppID(kAppID, kAppName)));
    EXPECT_FALSE(errorOf(store->saveInstallation(registeredItem())));
    EXPECT_FALSE(errorOf(store->removeInstallationForAppID(kAppID, kAppName)));
    EXPECT_TRUE(keychain->items().empty());
    EXPECT_FALSE(flagSet("com.beacon.BCNInstallations"));

    // A failed delete keeps the flag.
    EXPECT_FALSE(errorOf(store->saveInstallation(registeredItem())));
    keychain->forceStatus(Operation::Remove, kSecStatusIO);
    EXPECT_TRUE(errorOf(store->removeInstallationForAppID(kAppID, kAppName)));
    EXPECT_TRUE(flagSet("com.beacon.BCNInstallations"));
}

TEST_F(BCNInstallationsStoreTest, ANewerStorageVersionIsReadWithWarningsKeepingKnownFields) {
    const auto expected = registeredItem();
    auto values = expected.storedItem().encodeWithCoder();
    values["storageVersion"] = PropertyList(2);
    values["fieldOfTheFuture"] = PropertyList("x");
    auto token = expected.authToken.encodeWithCoder();
    token["storageVersion"] = PropertyList(3);
    values["authToken"] = PropertyList(token);
    seedRecord(values);
    auto store = makeStore();
    EXPECT_FALSE(errorOf(store->setInstallationExists(
        true, BCNInstallationsItem::identifierWithAppID(kAppID, kAppName))));

    ErrorRef error;
    auto item = read(*store, &error);
    ASSERT_TRUE(item);
    EXPECT_EQ(*item, expected);
    EXPECT_EQ(
        loggedLines(),
        (std::vector<std::string>{
            BCNBeaconVersion() +
                " - [BeaconInstallations][I-BIS003000] BCNInstallationsStoredItem was "
                "encoded by a newer coder version 2. Current coder version is 1. Some "
                "installation data may be lost.",
            BCNBeaconVersion() +
                " - [BeaconInstallations][I-BIS004000] BCNInstallationsStoredAuthToken "
                "was encoded by a newer coder version 3. Current coder version is 1. Some auth "
                "token data may be lost."}));
}

TEST_F(BCNInstallationsStoreTest, MissingArchivedFieldsReadAsAbsent) {
    seedRecord({{"beaconInstallationID", PropertyList("fOnlyFid")}});
    auto store = makeStore();
    EXPECT_FALSE(errorOf(store->setInstallationExists(
        true, BCNInstallationsItem::identifierWithAppID(kAppID, kAppName))));
    ErrorRef error;
    auto item = read(*store, &error);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->beaconInstallationID, "fOnlyFid");
    EXPECT_FALSE(item->refreshToken);
    EXPECT_FALSE(item->authToken.token());
    EXPECT_EQ(item->registrationStatus, BCNInstallationsRegistrationStatus::Unknown);
}

TEST_F(BCNInstallationsStoreTest, AccessGroupsUseTheirOwnSuites) {
    auto groupA = makeStore("group.a");
    auto groupB = makeStore("group.b");
    EXPECT_FALSE(errorOf(groupA->saveInstallation(registeredItem())));
    EXPECT_TRUE(flagSet("group.a"));
    EXPECT_FALSE(flagSet("group.b"));
    EXPECT_FALSE(flagSet("com.beacon.BCNInstallations"));
    EXPECT_TRUE(errorOf(groupB->installationExistsForAppID(kAppID, kAppName)));
    EXPECT_EQ(keychain->items().at(0).attributes.accessGroup, "group.a");
}

}  // namespace
}  // namespace pex
