#include "beacon-core/UTLKeychainStorage.h"

#include <future>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "beacon-core/UTLKeychainUtils.h"
#include "platform/security/InMemorySecureItemStore.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using Operation = InMemorySecureItemStore::Operation;

struct Note {
    static constexpr const char* kArchiveClassName = "UTLTestNote";
    std::string text;
    PropertyList::Dictionary encodeWithCoder() const { return {{"text", PropertyList(text)}}; }
    static std::optional<Note> decodeWithCoder(const PropertyList::Dictionary& values) {
        auto found = values.find("text");
        if (found == values.end() || !found->second.is<std::string>()) return std::nullopt;
        return Note{*found->second.get<std::string>()};
    }
};

struct OtherKind {
    static constexpr const char* kArchiveClassName = "UTLTestOther";
    PropertyList::Dictionary encodeWithCoder() const { return {}; }
    static std::optional<OtherKind> decodeWithCoder(const PropertyList::Dictionary&) {
        return OtherKind{};
    }
};

struct Outcome {
    std::shared_ptr<const Note> note;
    ErrorRef error;
    std::string queue;  // the label of the queue the completion ran on
};

class UTLKeychainStorageTest : public ::testing::Test {
  protected:
    UTLKeychainStorageTest() { storage.setKeychainRef(&keychain); }

    Outcome get(const std::string& key, bool fromKeychain = false) {
        std::promise<Outcome> done;
        auto completion = [&done](std::shared_ptr<const Note> note, ErrorRef error) {
            done.set_value({note, error, DispatchQueue::currentLabel()});
        };
        if (fromKeychain)
            storage.getObjectFromKeychainForKey<Note>(key, std::nullopt, completion);
        else
            storage.getObjectForKey<Note>(key, std::nullopt, completion);
        return done.get_future().get();
    }
    Outcome set(const std::string& key, const std::string& text) {
        std::promise<Outcome> done;
        storage.setObject<Note>(std::make_shared<const Note>(Note{text}), key, std::nullopt,
                                [&done](std::shared_ptr<const Note> note, ErrorRef error) {
                                    done.set_value({note, error, DispatchQueue::currentLabel()});
                                });
        return done.get_future().get();
    }
    ErrorRef remove(const std::string& key) {
        std::promise<ErrorRef> done;
        storage.removeObjectForKey(key, std::nullopt,
                                   [&done](ErrorRef error) { done.set_value(error); });
        return done.get_future().get();
    }
    int reads() const { return keychain.callCount(Operation::CopyMatching); }

    InMemorySecureItemStore keychain;
    UTLKeychainStorage storage{"com.example.service"};
};

TEST_F(UTLKeychainStorageTest, SetThenGetRoundTripsAsOneGenericPasswordOfTheService) {
    const auto stored = set("key", "hello");
    EXPECT_FALSE(stored.error);
    ASSERT_TRUE(stored.note);
    EXPECT_EQ(stored.note->text, "hello");
    EXPECT_EQ(stored.queue, "com.utl.KeychainStorage.InMemoryCache");

    const auto items = keychain.items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].attributes.itemClass, SecItemClass::GenericPassword);
    EXPECT_EQ(items[0].attributes.service, "com.example.service");
    EXPECT_EQ(items[0].attributes.account, "key");
    EXPECT_EQ(items[0].accessible, kSecAccessibleAfterFirstUnlockThisDeviceOnly);

    storage.resetInMemoryCache();
    const auto read = get("key");
    ASSERT_TRUE(read.note);
    EXPECT_EQ(read.note->text, "hello");
    EXPECT_EQ(read.queue, "com.utl.KeychainStorage.InMemoryCache");
}

TEST_F(UTLKeychainStorageTest, StoringAKeyTwiceUpdatesTheOneItem) {
    set("key", "one");
    set("key", "two");
    EXPECT_EQ(keychain.items().size(), 1u);
    EXPECT_EQ(keychain.callCount(Operation::Add), 1);
    EXPECT_EQ(keychain.callCount(Operation::Update), 1);
    storage.resetInMemoryCache();
    EXPECT_EQ(get("key").note->text, "two");
}

TEST_F(UTLKeychainStorageTest, ReadsAfterAWriteComeFromTheCacheUntilItForgets) {
    set("key", "cached");
    const int before = reads();
    EXPECT_EQ(get("key").note->text, "cached");
    EXPECT_EQ(reads(), before);

    // Five more entries push the first one out of a cache of five.
    for (int i = 0; i < 5; ++i) set("other" + std::to_string(i), "x");
    const int beforeForgotten = reads();
    EXPECT_EQ(get("key").note->text, "cached");
    EXPECT_EQ(reads(), beforeForgotten + 1);
    EXPECT_EQ(storage.inMemoryCache()->count(), 5u);

    // Reading from the keychain skips the cache.
    EXPECT_EQ(get("key", true).note->text, "cached");
    EXPECT_EQ(reads(), beforeForgotten + 2);
}

TEST_F(UTLKeychainStorageTest, AFailedWriteLeavesCacheAndKeychainAsTheyWere) {
    set("key", "persisted");
    keychain.forceStatus(Operation::Update, kSecStatusNotAvailable);
    const auto failed = set("key", "never stored");
    EXPECT_FALSE(failed.note);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->failureReason(), "SecItemUpdate (-25291)");
    EXPECT_EQ(failed.queue, "com.utl.KeychainStorage.Keychain");
    EXPECT_EQ(get("key").note->text, "persisted");

    // Nor does a failed first write leave anything to read.
    keychain.forceStatus(Operation::Add, kSecStatusNotAvailable);
    EXPECT_TRUE(set("fresh", "never stored").error);
    const auto absent = get("fresh");
    EXPECT_FALSE(absent.note);
    EXPECT_FALSE(absent.error);
}

TEST_F(UTLKeychainStorageTest, AReadAskedRightAfterAWriteSeesWhatTheWriteStored) {
    struct Case {
        bool writeFails;
        std::string expected;
    } cases[] = {{false, "new"}, {true, "old"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.writeFails ? "failing write" : "successful write");
        keychain.clearForcedStatuses();
        ASSERT_FALSE(set("key", "old").error);
        if (c.writeFails) keychain.forceStatus(Operation::Update, kSecStatusIO);
        // Neither call waits: the read is asked while the write is still queued.
        std::promise<ErrorRef> written;
        std::promise<std::string> read;
        storage.setObject<Note>(
            std::make_shared<const Note>(Note{"new"}), "key", std::nullopt,
            [&](std::shared_ptr<const Note>, ErrorRef error) { written.set_value(error); });
        storage.getObjectForKey<Note>("key", std::nullopt,
                                      [&](std::shared_ptr<const Note> note, ErrorRef) {
                                          read.set_value(note ? note->text : "(none)");
                                      });
        EXPECT_EQ(written.get_future().get() != nullptr, c.writeFails);
        EXPECT_EQ(read.get_future().get(), c.expected);
        storage.resetInMemoryCache();
        EXPECT_EQ(get("key").note->text, c.expected);
    }
}

TEST_F(UTLKeychainStorageTest, RemovalForgetsTheObjectAndAMissingKeyIsNoError) {
    EXPECT_FALSE(remove("never stored"));
    set("key", "gone soon");
    EXPECT_FALSE(remove("key"));
    EXPECT_TRUE(keychain.items().empty());
    const auto read = get("key");
    EXPECT_FALSE(read.note);
    EXPECT_FALSE(read.error);
    EXPECT_EQ(read.queue, "com.utl.KeychainStorage.Keychain");

    // A read asked while a removal is still queued does not see the removed object.
    set("key", "cached again");
    storage.removeObjectForKey("key", std::nullopt, nullptr);
    EXPECT_FALSE(get("key").note);

    keychain.forceStatus(Operation::Remove, kSecStatusIO);
    const ErrorRef error = remove("key");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failureReason(), "SecItemDelete (-36)");
}

TEST_F(UTLKeychainStorageTest, ReadFailuresAndUnreadableDataReachTheCompletion) {
    keychain.forceStatus(Operation::CopyMatching, kSecStatusNotAvailable);
    const auto failed = get("key");
    EXPECT_FALSE(failed.note);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->domain(), "com.utl.keychain.ErrorDomain");
    EXPECT_EQ(failed.error->code(), 0);
    EXPECT_EQ(failed.error->failureReason(), "SecItemCopyMatching (-25291)");
    keychain.clearForcedStatuses();

    // An object of another class under the key is not a Note.
    std::promise<void> stored;
    storage.setObject<OtherKind>(
        std::make_shared<const OtherKind>(), "key", std::nullopt,
        [&](std::shared_ptr<const OtherKind>, ErrorRef) { stored.set_value(); });
    stored.get_future().get();
    const auto wrongClass = get("key");
    EXPECT_FALSE(wrongClass.note);
    ASSERT_TRUE(wrongClass.error);
    EXPECT_EQ(wrongClass.error->domain(), UTLKeychainStorage::kArchiveErrorDomain);
}

TEST_F(UTLKeychainStorageTest, AccessGroupsKeepSeparateItems) {
    std::promise<void> done;
    storage.setObject<Note>(std::make_shared<const Note>(Note{"grouped"}), "key",
                            std::string("group.a"),
                            [&](std::shared_ptr<const Note>, ErrorRef) { done.set_value(); });
    done.get_future().get();
    storage.resetInMemoryCache();
    std::promise<std::shared_ptr<const Note>> read;
    storage.getObjectForKey<Note>(
        "key", std::string("group.b"),
        [&](std::shared_ptr<const Note> note, ErrorRef) { read.set_value(note); });
    EXPECT_FALSE(read.get_future().get());
    EXPECT_EQ(keychain.items().at(0).attributes.accessGroup, "group.a");
}

TEST(UTLKeychainUtilsTest, StatusesBecomeResultsAndErrors) {
    InMemorySecureItemStore keychain;
    SecureItemQuery query;
    query.attributes.itemClass = SecItemClass::GenericPassword;
    query.attributes.service = "s";
    query.keychain = &keychain;

    ErrorRef error;
    EXPECT_FALSE(UTLKeychainUtils::getItemWithQuery(query, &error));
    EXPECT_FALSE(error);
    EXPECT_TRUE(UTLKeychainUtils::removeItemWithQuery(query, &error));
    EXPECT_TRUE(UTLKeychainUtils::setItem("data", query, &error));
    EXPECT_EQ(UTLKeychainUtils::getItemWithQuery(query, &error), "data");
    EXPECT_TRUE(UTLKeychainUtils::multiplatformQueryWithQuery(query).useDataProtectionKeychain);

    // A failed read stops a write before it adds anything.
    keychain.forceStatus(Operation::CopyMatching, kSecStatusIO);
    EXPECT_FALSE(UTLKeychainUtils::setItem("other", query, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->failureReason(), "SecItemCopyMatching (-36)");
    EXPECT_EQ(keychain.callCount(Operation::Update), 0);

    const ErrorRef made = UTLKeychainUtils::keychainErrorWithFunction("SecItemAdd", -25299);
    EXPECT_EQ(made->domain(), "com.utl.keychain.ErrorDomain");
    EXPECT_EQ(made->code(), 0);
    EXPECT_EQ(made->failureReason(), "SecItemAdd (-25299)");
}

}  // namespace
}  // namespace pex
