#pragma once
// The latency test of the service-line list: one HEAD request per line, all sent at once on the
// shared URL session, each with a 5-second time-out, so that a test of any number of lines ends
// within about 5 seconds. The results are gathered on a serial queue that belongs to the test
// and handed to the main queue one by one as they arrive, then once more all together when
// every request has ended.
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pex {

// The outcome of one line's test.
struct SpeedTestState {
    enum class Kind { success, pending, failure };

    Kind kind = Kind::pending;
    double milliseconds = 0;  // success only: from just before the request to its completion

    static SpeedTestState success(double ms) { return {Kind::success, ms}; }
    static SpeedTestState pending() { return {}; }
    static SpeedTestState failure() { return {Kind::failure, 0}; }
    bool operator==(const SpeedTestState&) const = default;
};

class ChannelLatencyProbe {
  public:
    static constexpr const char* kQueueLabel = "com.dorvani.netchannel.speedtest";
    static constexpr std::chrono::seconds kTimeout{5};

    using ResultHandler = std::function<void(std::size_t row, SpeedTestState state)>;
    using FinishHandler = std::function<void(std::vector<SpeedTestState> results)>;

    // Sends a HEAD request to every address; a row without an address is not tested and stays
    // pending. A reply of any HTTP status counts as a success. `onResult` runs on the main
    // queue for each tested row as its request ends; `onFinish` runs on the main queue after
    // the last of them (at once when no row is tested) with every row's state. Returns at once.
    static void start(const std::vector<std::optional<std::string>>& addresses,
                      ResultHandler onResult, FinishHandler onFinish);
};

}  // namespace pex
