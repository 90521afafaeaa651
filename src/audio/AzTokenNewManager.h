#pragma once
// Keeps the speech service's authorisation token of one session fresh. `start` fetches the
// first token from "/microsoft/get_token" and puts a refresh callback on the session clock;
// each reply hands the token's lifetime to the clock, so the clock asks again in time. A
// failed fetch is retried three times, two seconds apart, then reported once. Main thread only.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "audio/AzTokenNewDelegate.h"
#include "platform/foundation/Clock.h"

namespace pex {

class AzTokenNewManager : public std::enable_shared_from_this<AzTokenNewManager> {
  public:
    static constexpr const char* kPath = "/microsoft/get_token";
    static constexpr int kMaxRetries = 3;
    static constexpr std::chrono::seconds kRetryDelay{2};

    // Replies and retries hold the manager weakly, so it lives in a shared pointer.
    static std::shared_ptr<AzTokenNewManager> create();
    // Removes the clock's refresh callback when it is still this manager's.
    ~AzTokenNewManager();
    AzTokenNewManager(const AzTokenNewManager&) = delete;
    AzTokenNewManager& operator=(const AzTokenNewManager&) = delete;

    // First token: `action` 1, `retry` 0, one request; then installs the clock's refresh.
    void start();
    // Sends one token request now.
    void request();
    // Removes the clock's refresh and forgets the area. Replies and retries still on their
    // way after this reach nobody.
    void stop();

    // 1: the next reply is the first token; 2: it is a refresh.
    int action = 1;
    // Retries made since the last success or start.
    int retry = 0;
    // When the last request was sent, on the process clock.
    std::optional<Clock::TimePoint> lastRequestTime;
    // Not owned: the session window's controller owns this manager and so outlives it.
    AzTokenNewDelegate* delegate = nullptr;
    // Region of the last reply; sent as "region" with the next request when not empty.
    std::optional<std::string> area;

  private:
    struct ClockRefresh;
    AzTokenNewManager() = default;
    void replied(std::uint64_t generation, bool succeeded, const nlohmann::json& data);
    void failed(std::uint64_t generation);

    // Bumped by start and stop: a reply or retry of an older generation is dropped.
    std::uint64_t generation_ = 0;
};

}  // namespace pex
