#include "BeaconTransport/TXPLibrary/TXPLifecycle.h"

#include <gtest/gtest.h>

#include "TXPFakeComponents.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/Clock.h"

namespace pex {
namespace {

class TXPLifecycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::int64_t target : {1001, 1002}) registrar->registerStorage(storage, target);
        registrar->targetToStorage();
    }

    ScopedManualClock clock;
    test::FakeApplication fakeApplication;
    std::shared_ptr<TXPRegistrar> registrar = TXPRegistrar::make();
    std::shared_ptr<test::RecordingStorage> storage = std::make_shared<test::RecordingStorage>();
    std::shared_ptr<TXPUploadCoordinator> coordinator =
        TXPUploadCoordinator::make(registrar, fakeApplication, [] { return 2u; });
    TXPLifecycle lifecycle{TXPApplication::sharedApplication(), [this] {
                               return TXPLifecycle::Receivers{coordinator, registrar};
                           }};
};

TEST_F(TXPLifecycleTest, TheApplicationsTerminationReachesTheStoragesAndStopsUploads) {
    coordinator->startTimer();
    EXPECT_TRUE(coordinator->isTimerRunning());
    NotificationCenter::defaultCenter().post(kApplicationWillTerminateNotification);
    EXPECT_EQ(storage->terminations, 2);  // once per target the storage serves
    EXPECT_FALSE(coordinator->isTimerRunning());
}

TEST_F(TXPLifecycleTest, BackgroundAndForegroundReachTheCoordinatorAndTheStorages) {
    coordinator->startTimer();
    NotificationCenter::defaultCenter().post(TXPApplicationDidEnterBackgroundNotification);
    EXPECT_FALSE(coordinator->isTimerRunning());
    EXPECT_EQ(storage->backgroundings, 2);
    int sweepsBefore = storage->expirySweeps;
    NotificationCenter::defaultCenter().post(TXPApplicationWillEnterForegroundNotification);
    EXPECT_TRUE(coordinator->isTimerRunning());
    EXPECT_GT(storage->expirySweeps, sweepsBefore);
}

}  // namespace
}  // namespace pex
