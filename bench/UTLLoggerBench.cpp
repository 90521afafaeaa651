// What a log call costs the calling thread: a message below the level must be dropped before
// any formatting, and an emitted one hands its line to the logging queue.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "beacon-core/BCNLogger.h"
#include "platform/oslog/OSLog.h"

namespace {

// Swallows lines, so the bench measures the SDK and not the terminal.
class DiscardingBackend : public pex::OSLogBackend {
  public:
    std::shared_ptr<pex::OSLog> create(const std::string&, const std::string&) override {
        return std::make_shared<Discarding>();
    }

  private:
    struct Discarding : pex::OSLog {
        bool isEnabled(pex::OSLogType) const override { return true; }
        void write(pex::OSLogType, const std::string&) override {}
    };
};

struct Expensive {
    std::string description() const { return std::string(256, 'x'); }
};

void BM_DroppedDebugMessage(benchmark::State& state) {
    pex::OSLogBackend::setCurrent(std::make_shared<DiscardingBackend>());
    pex::BCNLogSetLevel(pex::BCNLoggerLevelNotice);
    const Expensive object;
    for (auto _ : state) {
        pex::BCNLogDebug(pex::kBCNLoggerCore, "I-COR000001", "Dropped %@ %ld", object, 42L);
    }
    pex::UTLLogFlush();
}
BENCHMARK(BM_DroppedDebugMessage);

void BM_EmittedNoticeMessage(benchmark::State& state) {
    pex::OSLogBackend::setCurrent(std::make_shared<DiscardingBackend>());
    pex::BCNLogSetLevel(pex::BCNLoggerLevelNotice);
    for (auto _ : state) {
        pex::BCNLogNotice(pex::kBCNLoggerCore, "I-COR000001", "Emitted %@ %ld", "text", 42L);
    }
    pex::UTLLogFlush();
}
BENCHMARK(BM_EmittedNoticeMessage);

}  // namespace
