#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"

#include <gtest/gtest.h>

#include "BeaconTransport/TXPLibrary/TXPApplication.h"
#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "TXPStorageTestSupport.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class RecordingController : public TXPMetricsControllerProtocol {
  public:
    void storageDidRemoveExpiredEvents(TXPStorageProtocol&, const TXPEventSet&) override {}
    void storageDidDropEvent(TXPStorageProtocol&, const TXPEvent&) override {}
    void logEventsDroppedForReason(std::int64_t, const TXPEventSet&, Done) override {}
    void getAndResetMetrics(std::function<void(std::shared_ptr<const TXPMetrics>)>) override {}
    void offerMetrics(std::shared_ptr<const TXPMetrics>, Done) override {}
};

class SilentUploader : public TXPUploader {
  public:
    void uploadTarget(std::int32_t, std::int64_t) override {}
};

class ListeningUploader : public SilentUploader, public TXPLifecycleProtocol {
  public:
    void appWillBackground(TXPApplication&) override { ++backgrounded; }
    int backgrounded = 0;
};

// A storage that counts the lifecycle calls it receives.
class CountingStorage : public TXPLifecycleProtocol {
  public:
    void appWillBackground(TXPApplication&) override { ++backgrounded; }
    void appWillTerminate(TXPApplication&) override { ++terminated; }
    int backgrounded = 0;
    int terminated = 0;
};

class ListeningStorage : public CountingStorage, public TXPStorageProtocol {
  public:
    void storeEvent(TXPEvent, StoreCompletion) override {}
    void hasEventsForTarget(std::int64_t, std::function<void(bool)>) override {}
    void batchWithEventSelector(TXPStorageEventSelector, TXPDate, BatchCompletion) override {}
    void removeBatchWithID(std::int64_t, bool, std::function<void()>) override {}
    void batchIDsForTarget(std::int64_t, BatchIDsCompletion) override {}
    void removeAllBatchesForTarget(std::int64_t, bool, std::function<void()>) override {}
    void checkForExpirations() override {}
    void storeLibraryData(std::string, std::string, std::function<void(ErrorRef)>) override {}
    void libraryDataForKey(std::string, LibraryFetchCompletion, LibraryNewValue) override {}
    void removeLibraryDataForKey(std::string, std::function<void(ErrorRef)>) override {}
    void storageSizeWithCallback(std::function<void(std::uint64_t)>) override {}
    void setDelegate(std::weak_ptr<TXPStorageDelegate> d) override { delegate_ = d; }
    std::shared_ptr<TXPStorageDelegate> delegate() const override { return delegate_.lock(); }

  private:
    std::weak_ptr<TXPStorageDelegate> delegate_;
};

TEST(TXPRegistrarTest, TheControllerBecomesTheStoragesDelegateInEitherOrder) {
    test::TempDir dir;
    auto registrar = TXPRegistrar::make();
    auto controller = std::make_shared<RecordingController>();
    auto early = TXPFlatFileStorage::make(dir.path() / "early");
    auto late = TXPFlatFileStorage::make(dir.path() / "late");
    registrar->registerStorage(early, 1002);  // storage first
    registrar->registerMetricsController(controller, 1002);
    registrar->registerMetricsController(controller, 1001);
    registrar->registerStorage(late, 1001);  // controller first
    registrar->targetToStorage();            // waits for the queued registrations
    EXPECT_EQ(early->delegate(), controller);
    EXPECT_EQ(late->delegate(), controller);

    // A storage of a target without a controller has no delegate.
    auto lone = TXPFlatFileStorage::make(dir.path() / "lone");
    lone->setDelegate(controller);
    registrar->registerStorage(lone, 999);
    EXPECT_EQ(registrar->storageForTarget(999), lone);
    EXPECT_EQ(lone->delegate(), nullptr);
    EXPECT_EQ(registrar->metricsControllerForTarget(1000), nullptr);
    EXPECT_EQ(registrar->metricsControllerForTarget(1001), controller);
}

TEST(TXPRegistrarTest, ALaterRegistrationReplacesTheEarlierOne) {
    auto registrar = TXPRegistrar::make();
    auto first = std::make_shared<SilentUploader>();
    auto second = std::make_shared<SilentUploader>();
    registrar->registerUploader(first, 1000);
    registrar->registerUploader(second, 1000);
    registrar->registerUploader(first, 1003);
    EXPECT_EQ(registrar->uploaderForTarget(1000), second);
    EXPECT_EQ(registrar->targetToUploader().size(), 2u);
}

TEST(TXPRegistrarTest, LifecycleCallsReachListenersOncePerTarget) {
    auto registrar = TXPRegistrar::make();
    auto uploader = std::make_shared<SilentUploader>();  // hears nothing
    auto listening = std::make_shared<ListeningUploader>();
    auto storage = std::make_shared<ListeningStorage>();
    for (std::int64_t target : {1000, 1001, 1002, 1003})
        registrar->registerUploader(uploader, target);
    registrar->registerUploader(listening, 1004);
    for (std::int64_t target : {999, 1000, 1001, 1002, 1003})
        registrar->registerStorage(storage, target);
    TXPApplication& application = TXPApplication::sharedApplication();
    registrar->appWillBackground(application);
    registrar->appWillTerminate(application);
    registrar->appWillForeground(application);
    EXPECT_EQ(storage->backgrounded, 5);
    EXPECT_EQ(storage->terminated, 5);
    EXPECT_EQ(listening->backgrounded, 1);
}

TEST(TXPRegistrarTest, TheSharedRegistrarAnswersTheLookups) {
    test::TempDir dir;
    auto storage = TXPFlatFileStorage::make(dir.path());
    TXPRegistrar::sharedInstance().registerStorage(storage, 4242);
    EXPECT_EQ(TXPRegisteredStorageForTarget(4242), storage);
    EXPECT_EQ(TXPRegisteredMetricsControllerForTarget(4242), nullptr);
}

}  // namespace
}  // namespace pex
