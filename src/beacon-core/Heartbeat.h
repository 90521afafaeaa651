#pragma once
// One day on which the SDK was used, under the user agent it had then. Dates are seconds
// since 2001-01-01 00:00:00 GMT (the stored form), always the start of a GMT day.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pex {

using HeartbeatDate = double;

// Year 1, long before any real heartbeat: the "never" of a new store.
inline constexpr HeartbeatDate kHeartbeatDistantPast = -63114076800.0;

enum class TimePeriod : std::int64_t { daily = 1 };
inline constexpr std::int64_t kTimePeriodSeconds = 86400;
inline const std::vector<TimePeriod> kAllTimePeriods{TimePeriod::daily};

struct Heartbeat {
    std::string agent;
    HeartbeatDate date = 0;
    std::int64_t version = 0;
    std::vector<TimePeriod> timePeriods;

    // Periods compare by count only: with one kind of period that is full equality.
    bool operator==(const Heartbeat& other) const {
        return agent == other.agent && date == other.date && version == other.version &&
               timePeriods.size() == other.timePeriods.size();
    }

    nlohmann::json toJson() const;
    // None when a key is missing, of the wrong type, or a period is unknown.
    static std::optional<Heartbeat> fromJson(const nlohmann::json& json);
};

// The period of a stored raw value; none for anything but 1.
std::optional<TimePeriod> timePeriodFromJson(const nlohmann::json& json);

}  // namespace pex
