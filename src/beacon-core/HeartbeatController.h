#pragma once
// Logs at most one heartbeat per GMT day for one id and hands the stored heartbeats out as
// payloads: all of them (emptying the ring, keeping the dates) or only today's.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "beacon-core/HeartbeatStorage.h"
#include "beacon-core/HeartbeatsPayload.h"

namespace pex {

class HeartbeatController {
  public:
    using WallClock = std::function<std::chrono::system_clock::time_point()>;
    static constexpr std::int64_t storageCapacity = 30;

    // The store of `id` is shared with every other controller of that id.
    explicit HeartbeatController(const std::string& id, WallClock clock = nullptr);

    // Returns at once; the day is taken now, on the calling thread.
    void log(const std::string& agent);
    // Both block until done; they throw DispatchDeadlock when called on the store's queue
    // (for instance from a flushAsync completion).
    HeartbeatsPayload flush();
    HeartbeatsPayload flushHeartbeatFromToday();
    // The completion runs on the store's queue.
    void flushAsync(std::function<void(HeartbeatsPayload)> completion);

    // 00:00:00 GMT of the day of `time`, as seconds since 2001.
    static HeartbeatDate startOfDay(std::chrono::system_clock::time_point time);

    const std::shared_ptr<HeartbeatStorage>& storage() const { return storage_; }

  private:
    HeartbeatDate today() const;

    std::shared_ptr<HeartbeatStorage> storage_;
    WallClock clock_;
};

}  // namespace pex
