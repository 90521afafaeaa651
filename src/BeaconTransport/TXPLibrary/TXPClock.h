#pragma once
// A snapshot of the time: wall-clock milliseconds since 1970, the time-zone offset, the
// kernel's boot time, the time since boot (sleep included) and which boot it was taken in.
// Events are stamped with one when sent; the uploader keeps one per target as the earliest
// time of its next upload.
#include <cstdint>
#include <optional>

#include "platform/foundation/PropertyList.h"

namespace pex {

class TXPClock {
  public:
    static constexpr const char* kArchiveClassName = "TXPClock";

    // `bootID` names the boot (0: not known, as in archives written before it was kept).
    TXPClock(std::int64_t timeMillis, std::int64_t timezoneOffsetSeconds,
             std::int64_t kernelBootTimeNanoseconds, std::int64_t uptimeNanoseconds,
             std::uint64_t bootID = 0)
        : timeMillis_(timeMillis),
          timezoneOffsetSeconds_(timezoneOffsetSeconds),
          kernelBootTimeNanoseconds_(kernelBootTimeNanoseconds),
          uptimeNanoseconds_(uptimeNanoseconds),
          bootID_(bootID) {}

    // The time now.
    static TXPClock snapshot();
    // Now, with the wall-clock time moved `millis` milliseconds ahead.
    static TXPClock clockSnapshotInTheFuture(std::uint64_t millis);

    // Within one boot, the later wall-clock instant is after (the time zone plays no part);
    // across boots, the later boot is after whatever the wall clock says. Two snapshots are of
    // one boot when their boot ids agree, or, without ids, when their boot times do: the
    // kernel's boot time moves whenever the wall clock is set, so it alone cannot tell.
    bool isAfter(const TXPClock& other) const;

    std::int64_t timeMillis() const { return timeMillis_; }
    std::int64_t timezoneOffsetSeconds() const { return timezoneOffsetSeconds_; }
    std::int64_t kernelBootTime() const { return kernelBootTimeNanoseconds_; }
    std::int64_t uptime() const { return uptimeNanoseconds_; }
    std::int64_t uptimeMilliseconds() const { return uptimeNanoseconds_ / 1'000'000; }
    std::uint64_t bootID() const { return bootID_; }

    std::size_t hash() const;
    bool operator==(const TXPClock&) const = default;

    PropertyList::Dictionary encodeWithCoder() const;
    static std::optional<TXPClock> decodeWithCoder(const PropertyList::Dictionary& values);

  private:
    std::int64_t timeMillis_;
    std::int64_t timezoneOffsetSeconds_;
    std::int64_t kernelBootTimeNanoseconds_;
    std::int64_t uptimeNanoseconds_;
    std::uint64_t bootID_;
};

}  // namespace pex
