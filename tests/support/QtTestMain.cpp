// Test main for programs with widgets: a QApplication (offscreen in the test command) drives
// the main queue, and runMainUntil spins Qt's event loop.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/foundation/BackgroundThreads.h"
#include "support/TestSupport.h"

namespace pex::test {
extern std::function<bool(const std::function<bool()>&, std::chrono::milliseconds)> gRunMainUntil;
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pex::QtMainQueueDriver mainQueueDriver;
    pex::test::gRunMainUntil = [](const std::function<bool()>& done,
                                  std::chrono::milliseconds timeout) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < timeout.count()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (!done()) QThread::msleep(1);
        }
        return done();
    };
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    // As the application does: work a test left running (a picture still being decoded, a
    // request under way) ends before Qt and the static objects go.
    if (!pex::BackgroundThreads::stopAll(std::chrono::seconds(3))) {
        std::fputs("background work still running at the end of the tests\n", stderr);
        std::_Exit(status);
    }
    return status;
}
