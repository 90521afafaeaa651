// The main-queue driver against application objects that come and go while other threads
// post: once the driver is gone nothing reaches the application object, and late work waits in
// the main queue's own run loop.
#include "platform/appkit/QtMainQueueDriver.h"

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"

namespace pex {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<QCoreApplication> makeApplication() {
    static int argc = 1;
    static char name[] = "driver-test";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

TEST(QtMainQueueDriverTest, PostsFromAnotherThreadNeverReachAnApplicationThatIsGoing) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        auto app = makeApplication();
        auto driver = std::make_unique<QtMainQueueDriver>();
        auto ran = std::make_shared<std::atomic<int>>(0);
        std::atomic<bool> stop{false};
        std::thread poster([&stop, ran] {
            while (!stop.load()) {
                DispatchQueue::main().async([ran] { ran->fetch_add(1); });
                std::this_thread::sleep_for(20us);
            }
        });
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (ran->load() == 0 && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
        }
        EXPECT_GT(ran->load(), 0);  // Qt's loop ran the posts
        // The driver goes, then the application, while the other thread goes on posting.
        driver.reset();
        app.reset();
        std::this_thread::sleep_for(1ms);
        stop.store(true);
        poster.join();
        MainQueue::drain();
    }
}

TEST(QtMainQueueDriverTest, WorkPostedAfterTheDriverIsGoneWaitsInTheRunLoop) {
    auto app = makeApplication();
    auto driver = std::make_unique<QtMainQueueDriver>();
    bool early = false;
    DispatchQueue::main().async([&early] { early = true; });
    QCoreApplication::processEvents();
    EXPECT_TRUE(early);

    driver.reset();
    bool late = false;
    DispatchQueue::main().async([&late] { late = true; });
    QCoreApplication::processEvents();
    EXPECT_FALSE(late);  // Qt's loop no longer runs the main queue
    EXPECT_EQ(MainQueue::drain(), 1u);
    EXPECT_TRUE(late);
}

}  // namespace
}  // namespace pex
