// A program that carries the transport has it registered before its own code runs.
#include <gtest/gtest.h>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "BeaconTransport/TXPLibrary/TXPUploadCoordinator.h"

namespace pex {
namespace {

TEST(TXPLoadTimeRegistrationTest, TheSharedStorageServesEveryTargetAndUploadsAreTimed) {
    auto storages = TXPRegistrar::sharedInstance().targetToStorage();
    for (std::int64_t target : {999, 1000, 1001, 1002, 1003}) {
        ASSERT_TRUE(storages.contains(target)) << target;
        EXPECT_EQ(storages[target], TXPFlatFileStorage::sharedInstance()) << target;
    }
    EXPECT_TRUE(TXPUploadCoordinator::sharedInstance()->isTimerRunning());
}

}  // namespace
}  // namespace pex
