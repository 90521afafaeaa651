#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"

#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "BeaconTransport/TXPLibrary/TXPPlatform.h"
#include "TXPStorageTestSupport.h"
#include "TXPTestEvents.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TXPFlatFileStorageTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::shared_ptr<TXPFlatFileStorage> storage = TXPFlatFileStorage::make(dir.path());

    fs::path targetFolder(std::int64_t target) const {
        return storage->eventDataStoragePath() / std::to_string(target);
    }
    std::size_t filesIn(const fs::path& folder) const {
        std::error_code error;
        if (!fs::exists(folder, error)) return 0;
        std::size_t count = 0;
        for (auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) ++count;
        return count;
    }
    fs::path counterFile() const {
        return storage->libraryDataStoragePath() / TXPFlatFileStorage::kBatchIDCounterKey;
    }
    TXPDate inTenMinutes() const { return TXPDateNow() + 600s; }
};

TEST_F(TXPFlatFileStorageTest, StoredEventsBatchAndComeBackOrGo) {
    TXPEvent first = test::makeEvent("1974", 1001, "one");
    TXPEvent second = test::makeEvent("1974", 1001, "two");
    EXPECT_TRUE(test::store(*storage, first).written);
    EXPECT_TRUE(test::store(*storage, second).written);
    EXPECT_EQ(filesIn(targetFolder(1001)), 2u);

    // No counter yet: the first batch is 0 and the counter then holds 1.
    auto batch = test::batch(*storage, TXPStorageEventSelector::eventSelectorForTarget(1001),
                             inTenMinutes());
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->batchID, 0);
    ASSERT_EQ(batch->events.size(), 2u);
    EXPECT_EQ(batch->events.at(first.eventID()), first);
    EXPECT_EQ(batch->events.at(second.eventID()).serializedDataObjectBytes(), std::string("two"));
    std::error_code error;
    EXPECT_EQ(AtomicFile::read(counterFile(), error), std::string("\1\0\0\0", 4));
    EXPECT_EQ(filesIn(targetFolder(1001)), 0u);
    EXPECT_EQ(filesIn(storage->batchDataStoragePath()), 2u);

    std::promise<std::optional<std::set<std::int64_t>>> ids;
    storage->batchIDsForTarget(1001, [&](auto found) { ids.set_value(found); });
    EXPECT_EQ(ids.get_future().get(), std::set<std::int64_t>{0});

    test::removeBatch(*storage, 0, /*deleteEvents=*/false);
    EXPECT_EQ(filesIn(targetFolder(1001)), 2u);
    EXPECT_EQ(filesIn(storage->batchDataStoragePath()), 0u);

    auto again = test::batch(*storage, TXPStorageEventSelector::eventSelectorForTarget(1001),
                             inTenMinutes());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->batchID, 1);
    test::removeBatch(*storage, 1, /*deleteEvents=*/true);
    EXPECT_EQ(filesIn(storage->eventDataStoragePath()), 0u);
    EXPECT_EQ(filesIn(storage->batchDataStoragePath()), 0u);

    std::promise<bool> has;
    storage->hasEventsForTarget(1001, [&](bool found) { has.set_value(found); });
    EXPECT_FALSE(has.get_future().get());
}

TEST_F(TXPFlatFileStorageTest, SelectorsFilterByIdTierAndDecodedMappingId) {
    const std::string odd = "a-b c/d%";  // a hyphen and characters that need encoding
    TXPEvent oddEvent = test::makeEvent(odd, 1002, "odd", TXPEventTierWifi);
    TXPEvent crash = test::makeEvent("1206", 1002, "crash", TXPEventTierImmediate);
    TXPEvent standard = test::makeEvent("1206", 1002, "standard", TXPEventTierStandard);
    for (const TXPEvent& event : {oddEvent, crash, standard})
        ASSERT_TRUE(test::store(*storage, event).written);

    fs::path oddFile = storage->pathForTarget(1002, oddEvent.eventID(), TXPEventTierWifi,
                                              oddEvent.expirationDate(), odd);
    EXPECT_TRUE(oddFile.filename().string().ends_with("-a-b%20c%2Fd%25")) << oddFile;
    EXPECT_TRUE(fs::exists(oddFile));
    auto components = TXPFlatFileStorage::eventComponentsFromFilename(oddFile.filename().string());
    ASSERT_TRUE(components);
    EXPECT_EQ(
        TXPFlatFileStorage::percentDecodedMappingID(
            *components->at(TXPFlatFileStorage::kEventComponentsMappingIDKey).get<std::string>()),
        odd);

    struct Case {
        const char* name;
        TXPStorageEventSelector selector;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {"mapping id after decoding",
         {1002, std::nullopt, std::set<std::string>{odd}, std::nullopt},
         {oddEvent.eventID()}},
        {"tiers of mobile data",
         {1002, std::nullopt, std::nullopt, std::set<std::int64_t>{4, 3}},
         {crash.eventID(), standard.eventID()}},
        {"one event id",
         {1002, std::set<std::string>{standard.eventID()}, std::nullopt, std::nullopt},
         {standard.eventID()}},
        {"two filters at once",
         {1002, std::nullopt, std::set<std::string>{"1206"}, std::set<std::int64_t>{4}},
         {crash.eventID()}},
    };
    for (const Case& c : cases) {
        auto batch = test::batch(*storage, c.selector, inTenMinutes());
        ASSERT_TRUE(batch) << c.name;
        std::set<std::string> ids;
        for (const auto& [id, event] : batch->events) ids.insert(id);
        EXPECT_EQ(ids, c.expected) << c.name;
        test::removeBatch(*storage, batch->batchID, false);
    }
}

TEST_F(TXPFlatFileStorageTest, TheSizeLimitTakesAnEventOfExactlyTheRemainingSize) {
    for (int slack : {0, -1}) {
        test::TempDir root;
        auto storage = TXPFlatFileStorage::make(root.path());
        auto delegate = std::make_shared<test::RecordingDelegate>();
        storage->setDelegate(delegate);
        TXPEvent event = test::makeEvent("1974", 1001);
        std::size_t archiveSize = TXPEncodeArchive(event, std::nullopt).size();
        // Fill the store so that exactly archiveSize + slack bytes remain.
        std::string filler(TXPFlatFileStorage::kMaxStorageSize - archiveSize - slack, 'x');
        std::promise<ErrorRef> filled;
        storage->storeLibraryData(filler, "filler", [&](ErrorRef e) { filled.set_value(e); });
        ASSERT_FALSE(filled.get_future().get());

        test::StoreResult result = test::store(*storage, event);
        if (slack == 0) {
            EXPECT_TRUE(result.written);
            EXPECT_TRUE(delegate->dropped.empty());
        } else {
            EXPECT_FALSE(result.written);
            ASSERT_TRUE(result.error);
            EXPECT_EQ(result.error->domain(), "TXPFlatFileStorage");
            EXPECT_EQ(result.error->code(), 0);
            EXPECT_EQ(result.error->failureReason(), "Storage size limit has been reached.");
            ASSERT_EQ(delegate->dropped.size(), 1u);
            EXPECT_EQ(delegate->dropped[0], event);
        }
    }
}

TEST_F(TXPFlatFileStorageTest, AnEventWithoutPayloadIsRefusedAtOnce) {
    TXPEvent event = *TXPEvent::make("1974", 1001);
    bool called = false;
    storage->storeEvent(event, [&](bool written, ErrorRef error) {
        called = true;  // on the caller's thread: the refusal does not wait for the queue
        EXPECT_FALSE(written);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), "NSInternalInconsistencyException");
        EXPECT_EQ(error->code(), -1);
    });
    EXPECT_TRUE(called);
    EXPECT_EQ(filesIn(targetFolder(1001)), 0u);
}

TEST_F(TXPFlatFileStorageTest, ABatchOfUnreadableEventsIsNoneAndLeavesNoFiles) {
    fs::create_directories(targetFolder(1001));
    for (const char* name : {"AAAA-3-9999999999-1974", "BBBB-3-9999999999-1974"})
        std::ofstream(targetFolder(1001) / name) << "not an archive";
    EXPECT_FALSE(test::batch(*storage, TXPStorageEventSelector::eventSelectorForTarget(1001),
                             inTenMinutes()));
    EXPECT_EQ(filesIn(targetFolder(1001)), 0u);
    EXPECT_EQ(filesIn(storage->batchDataStoragePath()), 0u);
}

TEST_F(TXPFlatFileStorageTest, HiddenFilesAreNeverSelected) {
    ASSERT_TRUE(test::store(*storage, test::makeEvent("1974", 1001)).written);
    ASSERT_TRUE(test::store(*storage, test::makeEvent("1974", 1001)).written);
    TXPEvent hidden = test::makeEvent("1974", 1001);
    std::string archive = TXPEncodeArchive(hidden, std::nullopt);
    fs::path hiddenFile = targetFolder(1001) / ".HIDDEN-3-9999999999-1974";
    std::ofstream(hiddenFile) << archive;
    for (auto selector : {TXPStorageEventSelector::eventSelectorForTarget(1001),
                          TXPStorageEventSelector(1001, std::nullopt, std::set<std::string>{"1974"},
                                                  std::nullopt)}) {
        auto batch = test::batch(*storage, selector, inTenMinutes());
        ASSERT_TRUE(batch);
        EXPECT_EQ(batch->events.size(), 2u);
        test::removeBatch(*storage, batch->batchID, false);
    }
    EXPECT_TRUE(fs::exists(hiddenFile));
}

TEST_F(TXPFlatFileStorageTest, OnlyEventsReallyMovedIntoTheBatchBelongToIt) {
    TXPEvent event = test::makeEvent("1974", 1001);
    ASSERT_TRUE(test::store(*storage, event).written);
    // A file where the batch folder should go makes every move fail.
    TXPDate expiration = inTenMinutes();
    fs::path blocked = storage->batchPathForTarget(1001, 0, expiration);
    std::ofstream(blocked) << "in the way";
    EXPECT_FALSE(
        test::batch(*storage, TXPStorageEventSelector::eventSelectorForTarget(1001), expiration));
    // The event stays in storage, so deleting the batch cannot lose it.
    test::removeBatch(*storage, 0, /*deleteEvents=*/true);
    EXPECT_EQ(filesIn(targetFolder(1001)), 1u);
}

TEST_F(TXPFlatFileStorageTest, AnUnusableBatchCounterIsReplacedAndBatchingGoesOn) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;
    };
    const Case cases[] = {
        {"short", [](const fs::path& file) { std::ofstream(file) << "ab"; }},
        {"a folder", [](const fs::path& file) { fs::create_directories(file / "inside"); }},
        {"negative",
         [](const fs::path& file) { std::ofstream(file) << std::string("\xFF\xFF\xFF\xFF", 4); }},
    };
    for (const Case& c : cases) {
        // A batch of another target is still on disk: the repaired ids must pass it.
        fs::remove_all(storage->batchDataStoragePath());
        fs::create_directories(storage->batchPathForTarget(1002, 41, inTenMinutes()));
        fs::remove_all(counterFile());
        c.spoil(counterFile());
        // Two rounds in a row: both make a batch, with ids that follow each other.
        for (std::int64_t expected : {42, 43}) {
            ASSERT_TRUE(test::store(*storage, test::makeEvent("1974", 1001)).written);
            auto batch = test::batch(
                *storage, TXPStorageEventSelector::eventSelectorForTarget(1001), inTenMinutes());
            ASSERT_TRUE(batch) << c.name;
            EXPECT_EQ(batch->batchID, expected) << c.name;
            test::removeBatch(*storage, batch->batchID, /*deleteEvents=*/true);
        }
        std::error_code error;
        EXPECT_EQ(AtomicFile::read(counterFile(), error), std::string("\x2C\0\0\0", 4)) << c.name;
    }
    // A sound counter is used as it is.
    fs::remove_all(counterFile());
    std::ofstream(counterFile()) << std::string("\x07\0\0\0", 4);
    ASSERT_TRUE(test::store(*storage, test::makeEvent("1974", 1001)).written);
    auto batch = test::batch(*storage, TXPStorageEventSelector::eventSelectorForTarget(1001),
                             inTenMinutes());
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->batchID, 7);
}

TEST_F(TXPFlatFileStorageTest, AnExpiredBatchGivesItsEventsBack) {
    TXPEvent event = test::makeEvent("1974", 1001);
    ASSERT_TRUE(test::store(*storage, event).written);
    auto batch = test::batch(*storage, TXPStorageEventSelector::eventSelectorForTarget(1001),
                             TXPDateNow() - 10s);
    ASSERT_TRUE(batch);
    storage->checkForExpirations();
    test::drain(*storage);
    EXPECT_EQ(filesIn(storage->batchDataStoragePath()), 0u);
    EXPECT_EQ(filesIn(targetFolder(1001)), 1u);
}

TEST_F(TXPFlatFileStorageTest, AnExpiredEventIsDeletedAndReportedOnce) {
    auto delegate = std::make_shared<test::RecordingDelegate>();
    storage->setDelegate(delegate);
    TXPEvent expired = test::makeEvent("1206", 1002);
    expired.setExpirationDate(TXPDateNow() - 5s);
    TXPEvent fresh = test::makeEvent("1206", 1002);
    ASSERT_TRUE(test::store(*storage, expired).written);
    ASSERT_TRUE(test::store(*storage, fresh).written);
    storage->checkForExpirations();
    storage->checkForExpirations();
    test::drain(*storage);
    ASSERT_EQ(delegate->expired.size(), 1u);
    ASSERT_EQ(delegate->expired[0].size(), 1u);
    EXPECT_EQ(delegate->expired[0].begin()->second, expired);
    EXPECT_EQ(filesIn(targetFolder(1002)), 1u);
}

TEST_F(TXPFlatFileStorageTest, ReplacingALibraryFileKeepsTheSizeCacheTrue) {
    auto storeValue = [&](std::string bytes) {
        std::promise<ErrorRef> done;
        storage->storeLibraryData(std::move(bytes), "metrics_metadata",
                                  [&](ErrorRef e) { done.set_value(e); });
        EXPECT_FALSE(done.get_future().get());
    };
    auto cachedSize = [&] {
        std::promise<std::uint64_t> size;
        storage->storageSizeWithCallback([&](std::uint64_t s) { size.set_value(s); });
        return size.get_future().get();
    };
    EXPECT_EQ(cachedSize(), 0u);
    storeValue(std::string(1000, 'a'));
    storeValue(std::string(10, 'b'));
    EXPECT_EQ(cachedSize(), 10u);
    TXPDirectorySizeTracker walk(dir.path());
    EXPECT_EQ(walk.directoryContentSize(), 10u);

    std::promise<std::pair<std::optional<std::string>, ErrorRef>> fetched;
    storage->libraryDataForKey(
        "metrics_metadata",
        [&](auto bytes, ErrorRef e) {
            fetched.set_value({bytes, e});
        },
        [] { return std::optional<std::string>(std::string(4, 'c')); });
    EXPECT_EQ(fetched.get_future().get().first, std::string(10, 'b'));
    EXPECT_EQ(cachedSize(), 4u);

    std::promise<ErrorRef> removed;
    storage->removeLibraryDataForKey("metrics_metadata", [&](ErrorRef e) { removed.set_value(e); });
    EXPECT_FALSE(removed.get_future().get());
    EXPECT_EQ(cachedSize(), 0u);

    std::promise<ErrorRef> refused;
    storage->storeLibraryData("x", "../escape", [&](ErrorRef e) { refused.set_value(e); });
    EXPECT_TRUE(refused.get_future().get());
}

class CountingCoordinator : public TXPForcedUploading {
  public:
    void forceUploadForTarget(std::int64_t target) override { targets.push_back(target); }
    std::vector<std::int64_t> targets;
};

TEST_F(TXPFlatFileStorageTest, StoringAnImmediateEventForcesAnUploadOfItsTarget) {
    auto coordinator = std::make_shared<CountingCoordinator>();
    storage->setUploadCoordinator(coordinator);
    ASSERT_TRUE(test::store(*storage, test::makeEvent("1974", 1001)).written);
    ASSERT_TRUE(test::store(*storage, test::makeEvent("1206", 1002, "crash", TXPEventTierImmediate))
                    .written);
    test::drain(*storage);
    EXPECT_EQ(coordinator->targets, std::vector<std::int64_t>{1002});
}

TEST(TXPFlatFileStorageNamesTest, BatchAndEventNamesParseBackOrAreRefused) {
    auto batch = TXPFlatFileStorage::batchComponentsFromFilename("1002-17-1700000000");
    ASSERT_TRUE(batch);
    EXPECT_EQ(*batch->at(TXPFlatFileStorage::kBatchComponentsTargetKey).get<std::int64_t>(), 1002);
    EXPECT_EQ(*batch->at(TXPFlatFileStorage::kBatchComponentsBatchIDKey).get<std::int64_t>(), 17);
    for (const char* bad : {"1002-17", "1002--1-5-6", "x-1-2", "1002-17-"})
        EXPECT_FALSE(TXPFlatFileStorage::batchComponentsFromFilename(bad)) << bad;
    for (const char* bad : {"ID-3-5", "ID-x-5-1974", "ID-3-y-1974", "-3-5-1974"})
        EXPECT_FALSE(TXPFlatFileStorage::eventComponentsFromFilename(bad)) << bad;
    auto event = TXPFlatFileStorage::eventComponentsFromFilename("ID-3-5-a-b-c");
    ASSERT_TRUE(event);
    EXPECT_EQ(*event->at(TXPFlatFileStorage::kEventComponentsMappingIDKey).get<std::string>(),
              "a-b-c");
}

}  // namespace
}  // namespace pex
