#include "BeaconTransport/TXPLibrary/TXPClock.h"

#include <sys/time.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <limits>
#include <string>

namespace pex {

namespace {

constexpr const char* kTimeMillisKey = "TXPClockTimeMillis";
constexpr const char* kTimezoneOffsetKey = "TXPClockTimezoneOffsetSeconds";
constexpr const char* kKernelBootTimeKey = "TXPClockKernelBootTime";
constexpr const char* kUptimeKey = "TXPClockUptime";

// The kernel's boot time in nanoseconds since 1970, or 0 when it cannot be read. The kernel
// keeps it fixed (it moves only when the wall clock is set), so snapshots of one boot agree
// on it exactly.
std::int64_t kernelBootTimeNanoseconds() {
    std::ifstream stat("/proc/stat");
    std::string key;
    while (stat >> key) {
        if (key == "btime") {
            std::int64_t seconds = 0;
            if (stat >> seconds) return seconds * 1'000'000'000;
            return 0;
        }
        stat.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

std::int64_t timeOfDayNanoseconds() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + std::int64_t{now.tv_usec} * 1000;
}

std::int64_t localTimezoneOffsetSeconds() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local.tm_gmtoff;
}

std::int64_t getInteger(const PropertyList::Dictionary& values, const char* key, bool& ok) {
    auto found = values.find(key);
    if (found == values.end() || !found->second.is<std::int64_t>()) {
        ok = false;
        return 0;
    }
    return *found->second.get<std::int64_t>();
}

}  // namespace

TXPClock TXPClock::snapshot() {
    std::int64_t bootTime = kernelBootTimeNanoseconds();
    // Read the time of day until the boot time read after it still agrees, so the uptime is
    // taken against one boot time even if the wall clock is being set meanwhile.
    std::int64_t stableBootTime = kernelBootTimeNanoseconds();
    std::int64_t timeOfDay = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        timeOfDay = timeOfDayNanoseconds();
        std::int64_t again = kernelBootTimeNanoseconds();
        if (again == stableBootTime) break;
        stableBootTime = again;
    }
    std::int64_t uptime = timeOfDay - stableBootTime;
    timespec wall{};
    ::clock_gettime(CLOCK_REALTIME, &wall);
    std::int64_t millis = std::int64_t{wall.tv_sec} * 1000 + wall.tv_nsec / 1'000'000;
    return TXPClock(millis, localTimezoneOffsetSeconds(), bootTime, uptime);
}

TXPClock TXPClock::clockSnapshotInTheFuture(std::uint64_t millis) {
    TXPClock now = snapshot();
    now.timeMillis_ += static_cast<std::int64_t>(millis);
    return now;
}

bool TXPClock::isAfter(const TXPClock& other) const {
    if (kernelBootTimeNanoseconds_ != other.kernelBootTimeNanoseconds_)
        return kernelBootTimeNanoseconds_ > other.kernelBootTimeNanoseconds_;
    // Both sides in milliseconds: the zone offset is in seconds.
    return timeMillis_ + timezoneOffsetSeconds_ * 1000 >
           other.timeMillis_ + other.timezoneOffsetSeconds_ * 1000;
}

std::size_t TXPClock::hash() const {
    std::hash<std::int64_t> h;
    return h(kernelBootTimeNanoseconds_) ^ h(uptimeNanoseconds_) ^ h(timeMillis_) ^
           h(timezoneOffsetSeconds_);
}

PropertyList::Dictionary TXPClock::encodeWithCoder() const {
    return {{kTimeMillisKey, PropertyList(timeMillis_)},
            {kTimezoneOffsetKey, PropertyList(timezoneOffsetSeconds_)},
            {kKernelBootTimeKey, PropertyList(kernelBootTimeNanoseconds_)},
            {kUptimeKey, PropertyList(uptimeNanoseconds_)}};
}

std::optional<TXPClock> TXPClock::decodeWithCoder(const PropertyList::Dictionary& values) {
    bool ok = true;
    TXPClock clock(getInteger(values, kTimeMillisKey, ok),
                   getInteger(values, kTimezoneOffsetKey, ok),
                   getInteger(values, kKernelBootTimeKey, ok), getInteger(values, kUptimeKey, ok));
    if (!ok) return std::nullopt;
    return clock;
}

}  // namespace pex
