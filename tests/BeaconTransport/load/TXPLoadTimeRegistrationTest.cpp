// A program that carries the transport has it registered before its own code runs.
#include <gtest/gtest.h>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsController.h"
#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"
#include "BeaconTransport/cct/TXBUploader.h"

namespace pex {
namespace {

TEST(TXPLoadTimeRegistrationTest, TheSharedStorageServesEveryTargetAndUploadsAreTimed) {
    auto storages = TXPRegistrar::sharedInstance().targetToStorage();
    for (std::int64_t target : {999, 1000, 1001, 1002, 1003}) {
        ASSERT_TRUE(storages.contains(target)) << target;
        EXPECT_EQ(storages[target], TXPFlatFileStorage::sharedInstance()) << target;
    }
    auto uploaders = TXPRegistrar::sharedInstance().targetToUploader();
    for (std::int64_t target : {1000, 1001, 1002, 1003})
        EXPECT_EQ(uploaders[target], TXBUploader::sharedInstance()) << target;
    EXPECT_FALSE(uploaders.contains(999));
    auto controllers = TXPRegistrar::sharedInstance().targetToMetricsController();
    EXPECT_EQ(controllers.size(), 2u);
    EXPECT_EQ(controllers[1002], TXPMetricsController::sharedInstance());
    // The storage reports its losses to the metrics controller.
    EXPECT_EQ(TXPFlatFileStorage::sharedInstance()->delegate(),
              TXPMetricsController::sharedInstance());
    EXPECT_TRUE(TXPUploadCoordinator::sharedInstance()->isTimerRunning());
}

}  // namespace
}  // namespace pex
