// A small program for the thread sanitizer's test: a worker hands work to the main queue, which
// Qt's event loop drives, and the work reads a number the worker wrote. Run as "race", the
// worker writes the number again after the hand-over, while the main thread may read it: a
// real race in the work, which the sanitizer must report. Run as "ordered", it writes only
// before: nothing to report.
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/foundation/DispatchQueue.h"

namespace {
int shared = 0;
}  // namespace

int main(int argc, char** argv) {
    const bool race = argc > 1 && std::strcmp(argv[1], "race") == 0;
    QCoreApplication app(argc, argv);
    pex::QtMainQueueDriver driver;
    std::thread worker([race] {
        shared = 1;
        pex::DispatchQueue::main().async([] {
            std::printf("read %d\n", shared);
            QCoreApplication::quit();
        });
        if (race) shared = 2;
    });
    const int status = QCoreApplication::exec();
    worker.join();
    return status;
}
