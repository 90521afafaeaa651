#pragma once
// What one heartbeat store keeps: a ring of the latest heartbeats and, per period, the date of
// the last heartbeat recorded for it.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "beacon-core/Heartbeat.h"
#include "beacon-core/RingBuffer.h"

namespace pex {

class HeartbeatsPayload;

class HeartbeatsBundle {
  public:
    using Dates = std::map<TimePeriod, HeartbeatDate>;

    // Every period at the distant past, `capacity` empty slots.
    explicit HeartbeatsBundle(std::int64_t capacity);
    HeartbeatsBundle(std::int64_t capacity, Dates lastAddedHeartbeatDates);
    HeartbeatsBundle(std::int64_t capacity, Dates lastAddedHeartbeatDates,
                     RingBuffer<Heartbeat> buffer);

    // Stores `heartbeat` and records its date for its periods. A stored tail index out of
    // range resets the bundle and records a diagnostic heartbeat naming the failure.
    void append(const Heartbeat& heartbeat);
    // Removes and returns the heartbeat dated exactly `date`, keeping the others in order.
    std::optional<Heartbeat> takeHeartbeat(HeartbeatDate date);
    HeartbeatsPayload makePayload() const;

    std::int64_t capacity() const { return capacity_; }
    const Dates& lastAddedHeartbeatDates() const { return lastAddedHeartbeatDates_; }
    const RingBuffer<Heartbeat>& buffer() const { return buffer_; }

    // The stored JSON form; none for anything that does not decode whole.
    nlohmann::json toJson() const;
    static std::optional<HeartbeatsBundle> fromJson(const nlohmann::json& json);

  private:
    static Dates defaultDates();

    std::int64_t capacity_;
    Dates lastAddedHeartbeatDates_;
    RingBuffer<Heartbeat> buffer_;
};

}  // namespace pex
