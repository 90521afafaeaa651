#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"

#include <gtest/gtest.h>

#include "TXPFakeComponents.h"
#include "TXPLogCapture.h"
#include "TXPStorageTestSupport.h"
#include "TXPTestEvents.h"
#include "platform/foundation/Clock.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::pair<std::int32_t, std::int64_t>>;

class TXPUploadCoordinatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::int64_t target : {1000, 1001, 1002, 1003})
            registrar->registerUploader(uploader, target);
        for (std::int64_t target : {999, 1000, 1001, 1002, 1003})
            registrar->registerStorage(storage, target);
        registrar->targetToStorage();
    }
    // Lets the coordination queue finish what was posted to it.
    void settle() { coordinator->isTimerRunning(); }
    // Starts the timer on the clock's present instant.
    void start() {
        coordinator->startTimer();
        settle();
    }
    void advance(Clock::Duration by) {
        clock.clock().advance(by);
        settle();
    }

    ScopedManualClock clock;
    test::FakeApplication application;
    std::atomic<std::uint32_t> flags{2};  // reachable
    std::shared_ptr<TXPRegistrar> registrar = TXPRegistrar::make();
    std::shared_ptr<test::RecordingUploader> uploader = std::make_shared<test::RecordingUploader>();
    std::shared_ptr<test::RecordingStorage> storage = std::make_shared<test::RecordingStorage>();
    std::shared_ptr<TXPUploadCoordinator> coordinator =
        TXPUploadCoordinator::make(registrar, application, [this] { return flags.load(); });
};

const Calls kEveryTargetOnWifi = {{1000, 4}, {1001, 4}, {1002, 4}, {1003, 4}};

TEST_F(TXPUploadCoordinatorTest, TheFirstFiringComesHalfASecondAfterStartThenEvery30Seconds) {
    coordinator->startTimer();
    start();  // one timer only
    advance(499ms);
    EXPECT_TRUE(uploader->calls().empty());
    advance(1ms);
    EXPECT_EQ(uploader->calls(), kEveryTargetOnWifi);
    advance(29'999ms);
    EXPECT_EQ(uploader->calls().size(), 4u);
    advance(1ms);
    EXPECT_EQ(uploader->calls().size(), 8u);
    EXPECT_TRUE(coordinator->isTimerRunning());
}

TEST_F(TXPUploadCoordinatorTest, WithoutNetworkNothingIsUploadedForcedOrNot) {
    for (std::uint32_t offline : {0u, 6u}) {
        flags = offline;
        EXPECT_EQ(coordinator->uploadConditions(), TXPNetworkNone) << offline;
        start();
        advance(31s);
        coordinator->forceUploadForTarget(1002);
        settle();
        EXPECT_TRUE(uploader->calls().empty()) << offline;
        coordinator->stopTimer();
    }
}

TEST_F(TXPUploadCoordinatorTest, StoringAnImmediateEventForcesConditions20ForItsTarget) {
    test::TempDir dir;
    auto disk = TXPFlatFileStorage::make(dir.path());
    disk->setUploadCoordinator(coordinator);
    ASSERT_TRUE(
        test::store(*disk, test::makeEvent("1206", 1002, "crash", TXPEventTierImmediate)).written);
    test::drain(*disk);
    settle();
    EXPECT_EQ(uploader->calls(), (Calls{{1002, 20}}));
}

TEST_F(TXPUploadCoordinatorTest, ATargetWithoutUploaderIsNeverUploaded) {
    coordinator->forceUploadForTarget(999);
    coordinator->uploadTargets({999, 1001}, TXPNetworkWifi);
    settle();
    EXPECT_EQ(uploader->calls(), (Calls{{1001, 4}}));
    test::TXPLogCapture capture;
    EXPECT_EQ(coordinator->storageForTarget(999), storage);
    EXPECT_EQ(coordinator->storageForTarget(5), nullptr);
    EXPECT_TRUE(capture.contains("A storage must be registered for target 5"));
}

TEST_F(TXPUploadCoordinatorTest, TheBackgroundStopsTheTimerAndTheForegroundStartsIt) {
    TXPApplication& app = TXPApplication::sharedApplication();
    start();
    advance(500ms);
    EXPECT_EQ(uploader->calls().size(), 4u);
    coordinator->appWillBackground(app);
    EXPECT_FALSE(coordinator->isTimerRunning());
    advance(10min);
    EXPECT_EQ(uploader->calls().size(), 4u);
    coordinator->appWillForeground(app);
    settle();
    EXPECT_TRUE(coordinator->isTimerRunning());
    advance(500ms);
    EXPECT_EQ(uploader->calls().size(), 8u);
    // A firing while the application runs in the background does nothing.
    application.background = true;
    advance(30s);
    EXPECT_EQ(uploader->calls().size(), 8u);
}

TEST_F(TXPUploadCoordinatorTest, ExpiredEventsAreSweptAtStartAndEveryTenthFiring) {
    start();
    advance(500ms);                       // the first firing
    EXPECT_EQ(storage->expirySweeps, 1);  // one storage, registered for five targets: asked once
    for (int firing = 2; firing <= 9; ++firing) advance(30s);
    EXPECT_EQ(storage->expirySweeps, 1);
    advance(30s);  // the tenth firing
    EXPECT_EQ(storage->expirySweeps, 2);
    coordinator->stopTimer();
    start();
    advance(500ms);
    EXPECT_EQ(storage->expirySweeps, 3);
}

}  // namespace
}  // namespace pex
