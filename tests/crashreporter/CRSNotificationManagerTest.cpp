#include "crashreporter/CRSNotificationManager.h"

#include <gtest/gtest.h>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSUserLogging.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "runtime/CrashContextFixture.h"

namespace pex {
namespace {

class CRSNotificationManagerTest : public test::CrashContextTest {
  protected:
    void SetUp() override {
        test::CrashContextTest::SetUp();
        CRSContextInitData settings;
        CRSReadWriteContext* writable = crsContext->writable;
        CRSUserLoggingInitStorages(&crsContext->readonly->logging, root().c_str(), settings,
                                   &writable->logging, &writable->errorsCount,
                                   &writable->customExceptionCount);
        CRSContextCompleteInitialization();
    }
    // The flag as the report holds it once the logging queue has written it.
    nlohmann::json inBackground() const {
        CRSUserLoggingQueue().sync([] {});
        const nlohmann::json keys = CRSUserLoggingGetCompactedKVEntries(
            &crsContext->readonly->logging.internalKVStorage, true);
        return keys.value(CRSNotificationManager::kInBackgroundKey, nlohmann::json());
    }
    NotificationCenter centre_;
};

TEST_F(CRSNotificationManagerTest, FollowsTheApplicationsActivation) {
    CRSNotificationManager manager(centre_);
    EXPECT_TRUE(inBackground().is_null());
    manager.registerNotificationListener();
    EXPECT_EQ(inBackground(), "0");

    // The toolkit's one change of state posts both sides; the flag follows the side it listens
    // to, and the other notifications leave it alone.
    postApplicationActiveChange(false, centre_);
    EXPECT_EQ(inBackground(), "1");
    centre_.post(kApplicationDidBecomeActiveNotification);
    EXPECT_EQ(inBackground(), "1");
    postApplicationActiveChange(true, centre_);
    EXPECT_EQ(inBackground(), "0");
}

TEST_F(CRSNotificationManagerTest, StopsListeningWhenGone) {
    {
        CRSNotificationManager manager(centre_);
        manager.registerNotificationListener();
    }
    centre_.post(kApplicationDidResignActiveNotification);
    EXPECT_EQ(inBackground(), "0");
}

}  // namespace
}  // namespace pex
