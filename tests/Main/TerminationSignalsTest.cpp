// SIGTERM and SIGINT reach the main loop as calls there, not as work in the handler.
#include "Main/TerminationSignals.h"

#include <signal.h>

#include <QCoreApplication>
#include <QThread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace pex {
namespace {

TEST(TerminationSignalsTest, EachSignalArrivesOnTheMainThreadAndTheOldHandlersComeBack) {
    // What was there before: ignored, as a parent may leave them.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction before[2];
    ASSERT_EQ(sigaction(SIGTERM, &ignore, &before[0]), 0);
    ASSERT_EQ(sigaction(SIGINT, &ignore, &before[1]), 0);
    {
        std::vector<int> received;
        bool onMainThread = true;
        TerminationSignals handlers([&](int number) {
            received.push_back(number);
            onMainThread = onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        });
        ASSERT_TRUE(handlers.isInstalled());
        // Raised on another thread too: the handler runs there, the call still comes here.
        raise(SIGTERM);
        QThread* other = QThread::create([] { raise(SIGINT); });
        other->start();
        other->wait();
        delete other;
        ASSERT_TRUE(test::runMainUntil([&] { return received.size() == 2; }));
        EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT}));
        EXPECT_TRUE(onMainThread);
    }
    for (int number : {SIGTERM, SIGINT}) {
        struct sigaction now {};
        ASSERT_EQ(sigaction(number, nullptr, &now), 0);
        EXPECT_EQ(now.sa_handler, SIG_IGN) << number;
    }
    sigaction(SIGTERM, &before[0], nullptr);
    sigaction(SIGINT, &before[1], nullptr);
}

}  // namespace
}  // namespace pex
