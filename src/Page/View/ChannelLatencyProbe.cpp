#include "Page/View/ChannelLatencyProbe.h"

#include <memory>

#include "platform/foundation/DispatchGroup.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/URLSession.h"

namespace pex {

namespace {

// One test's shared state. `results` is touched only on `queue`.
struct ProbeRun {
    DispatchQueue queue = DispatchQueue::serial(ChannelLatencyProbe::kQueueLabel);
    DispatchGroup group;
    std::vector<SpeedTestState> results;
    ChannelLatencyProbe::ResultHandler onResult;
};

}  // namespace

void ChannelLatencyProbe::start(const std::vector<std::optional<std::string>>& addresses,
                                ResultHandler onResult, FinishHandler onFinish) {
    auto run = std::make_shared<ProbeRun>();
    run->results.assign(addresses.size(), SpeedTestState::pending());
    run->onResult = std::move(onResult);

    for (std::size_t row = 0; row < addresses.size(); ++row) {
        if (!addresses[row]) continue;
        URLRequest request(*addresses[row], "HEAD");
        request.timeoutInterval = kTimeout;
        run->group.enter();
        const auto started = std::chrono::steady_clock::now();
        // The completion runs on the test's serial queue, which owns the results.
        URLSession::shared()
            .dataTask(std::move(request), run->queue,
                      [run, row, started](URLDataResult result) {
                          const std::chrono::duration<double, std::milli> elapsed =
                              std::chrono::steady_clock::now() - started;
                          const SpeedTestState state =
                              !result.error && result.response
                                  ? SpeedTestState::success(elapsed.count())
                                  : SpeedTestState::failure();
                          run->results[row] = state;
                          DispatchQueue::main().async([run, row, state] {
                              if (run->onResult) run->onResult(row, state);
                          });
                          run->group.leave();
                      })
            ->resume();
    }

    // Posted after every per-row main-queue task, so the final pass comes last on the main queue.
    run->group.notify(run->queue, [run, onFinish = std::move(onFinish)] {
        DispatchQueue::main().async([results = run->results, onFinish] {
            if (onFinish) onFinish(results);
        });
    });
}

}  // namespace pex
