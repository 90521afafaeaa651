#include "platform/foundation/ThreadLauncher.h"

#include <gtest/gtest.h>

#include "platform/foundation/ThreadStartHook.h"

namespace pex {
namespace {

thread_local bool hookRan = false;

// Both kinds of product thread run the hook on themselves before their body.
TEST(ThreadLauncherTest, TheHookRunsOnTheNewThreadBeforeItsBody) {
    setThreadStartHook([] { hookRan = true; });
    bool plainSaw = false, stoppableSaw = false;
    launchThread([&] { plainSaw = hookRan; }).join();
    launchStoppableThread([&](std::stop_token) { stoppableSaw = hookRan; }).join();
    setThreadStartHook(nullptr);
    EXPECT_TRUE(plainSaw);
    EXPECT_TRUE(stoppableSaw);
    EXPECT_FALSE(hookRan);  // not on the launching thread
}

}  // namespace
}  // namespace pex
