#pragma once
// What the benches of the application's windows share around their runs: an offscreen Qt
// application (unless a platform is chosen) with its main-queue driver, the benchmark
// library's flags, a temporary data folder, and the report on standard error, because the
// application's console lines go to standard output, which is silenced.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <iostream>

#include <benchmark/benchmark.h>

#include "platform/appkit/QtMainQueueDriver.h"
#include "platform/foundation/StandardFolders.h"

namespace pex::bench {

// Sets up, calls `run` with the reporter to hand to RunSpecifiedBenchmarks, and shuts the
// benchmark library down; answers main's status.
inline int runQtBenchMain(int argc, char** argv,
                          const std::function<void(benchmark::BenchmarkReporter&)>& run) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QtMainQueueDriver mainQueueDriver;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    QTemporaryDir root;
    StandardFolders::setRootForTesting(root.path().toStdString());
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    run(reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace pex::bench
