// The cost of user logging as an application sees it: 10,000 log lines through the A/B files
// (the default 64,000-byte limit, so files swap along the way), and 1,000 custom keys written
// one call at a time with the compactions every 64 keys bring.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "crashreporter/runtime/CRSContext.h"
#include "crashreporter/runtime/CRSUserLogging.h"

namespace {

using namespace pex;

void startContext() {
    static const bool started = [] {
        const auto path = std::filesystem::temp_directory_path() / "pexmora-userlogging-bench";
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        const char* root = path.c_str();
        CRSContextAllocate();
        CRSContextSetRootPath(root);
        CRSReadWriteContext* writable = crsContext->writable;
        CRSUserLoggingInitStorages(&crsContext->readonly->logging, root, CRSContextInitData{},
                                   &writable->logging, &writable->errorsCount,
                                   &writable->customExceptionCount);
        CRSContextCompleteInitialization();
        return true;
    }();
    (void)started;
}

void BM_TenThousandLogLines(benchmark::State& state) {
    startContext();
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i) CRSLog("screen %d opened after %d ms", i, i % 997);
        CRSUserLoggingQueue().sync([] {});
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_TenThousandLogLines)->Unit(benchmark::kMillisecond);

void BM_ThousandKeysWithCompactions(benchmark::State& state) {
    startContext();
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            CRSUserLoggingRecordUserKeyValue("key" + std::to_string(i % 100), i);
        }
        CRSUserLoggingQueue().sync([] {});
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ThousandKeysWithCompactions)->Unit(benchmark::kMillisecond);

}  // namespace
