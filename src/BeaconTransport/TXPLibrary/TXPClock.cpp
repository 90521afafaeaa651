#include "BeaconTransport/TXPLibrary/TXPClock.h"

#include <time.h>

#include <bit>
#include <charconv>
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

constexpr const char* kBootIDKey = "TXPClockBootID";

// The kernel's boot time in nanoseconds since 1970, or 0 when it cannot be read.
std::int64_t readKernelBootTimeNanoseconds() {
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

// The kernel's random id of this boot, folded to 64 bits; 0 when it cannot be read.
std::uint64_t readBootID() {
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    std::string text;
    if (!(file >> text)) return 0;
    std::erase(text, '-');
    if (text.size() != 32) return 0;
    std::uint64_t high = 0, low = 0;
    auto parse = [&](std::size_t at, std::uint64_t& value) {
        auto [end, error] = std::from_chars(text.data() + at, text.data() + at + 16, value, 16);
        return error == std::errc() && end == text.data() + at + 16;
    };
    if (!parse(0, high) || !parse(16, low)) return 0;
    const std::uint64_t folded = high ^ low;
    return folded == 0 ? 1 : folded;
}

// What a process knows of its boot, read once: a process lives inside one boot, and reading
// the kernel's files for every snapshot cost more than the rest of storing an event. The boot
// time the kernel reports moves when the wall clock is set, so the boot id tells boots apart.
struct Boot {
    std::int64_t timeNanoseconds = readKernelBootTimeNanoseconds();
    std::uint64_t id = readBootID();
};

const Boot& thisBoot() {
    static const Boot boot;
    return boot;
}

std::int64_t nanoseconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
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
    const Boot& boot = thisBoot();
    // The time since boot counts the time the machine slept, as the wall clock does.
    const std::int64_t uptime = nanoseconds(CLOCK_BOOTTIME);
    const std::int64_t millis = nanoseconds(CLOCK_REALTIME) / 1'000'000;
    return TXPClock(millis, localTimezoneOffsetSeconds(), boot.timeNanoseconds, uptime, boot.id);
}

TXPClock TXPClock::clockSnapshotInTheFuture(std::uint64_t millis) {
    TXPClock now = snapshot();
    now.timeMillis_ += static_cast<std::int64_t>(millis);
    return now;
}

bool TXPClock::isAfter(const TXPClock& other) const {
    const bool sameBoot = bootID_ != 0 && other.bootID_ != 0
                              ? bootID_ == other.bootID_
                              : kernelBootTimeNanoseconds_ == other.kernelBootTimeNanoseconds_;
    if (!sameBoot) return kernelBootTimeNanoseconds_ > other.kernelBootTimeNanoseconds_;
    // Milliseconds since 1970 are the same instant in every zone: a stored wait must not grow
    // or shrink because the zone changed meanwhile.
    return timeMillis_ > other.timeMillis_;
}

std::size_t TXPClock::hash() const {
    std::hash<std::int64_t> h;
    return h(kernelBootTimeNanoseconds_) ^ h(uptimeNanoseconds_) ^ h(timeMillis_) ^
           h(timezoneOffsetSeconds_);
}

PropertyList::Dictionary TXPClock::encodeWithCoder() const {
    PropertyList::Dictionary values{{kTimeMillisKey, PropertyList(timeMillis_)},
                                    {kTimezoneOffsetKey, PropertyList(timezoneOffsetSeconds_)},
                                    {kKernelBootTimeKey, PropertyList(kernelBootTimeNanoseconds_)},
                                    {kUptimeKey, PropertyList(uptimeNanoseconds_)}};
    if (bootID_ != 0)
        values.emplace(kBootIDKey, PropertyList(std::bit_cast<std::int64_t>(bootID_)));
    return values;
}

std::optional<TXPClock> TXPClock::decodeWithCoder(const PropertyList::Dictionary& values) {
    bool ok = true;
    const std::int64_t timeMillis = getInteger(values, kTimeMillisKey, ok);
    const std::int64_t timezoneOffset = getInteger(values, kTimezoneOffsetKey, ok);
    const std::int64_t bootTime = getInteger(values, kKernelBootTimeKey, ok);
    const std::int64_t uptime = getInteger(values, kUptimeKey, ok);
    if (!ok) return std::nullopt;
    // Archives written before the boot id was kept have none: the boot is then unknown.
    bool hasBootID = true;
    const std::int64_t bootID = getInteger(values, kBootIDKey, hasBootID);
    return TXPClock(timeMillis, timezoneOffset, bootTime, uptime,
                    hasBootID ? std::bit_cast<std::uint64_t>(bootID) : 0);
}

}  // namespace pex
