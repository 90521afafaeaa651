#include "beacon-core/Heartbeat.h"

namespace pex {

std::optional<TimePeriod> timePeriodFromJson(const nlohmann::json& json) {
    if (!json.is_number_integer() || json.get<std::int64_t>() != 1) return std::nullopt;
    return TimePeriod::daily;
}

nlohmann::json Heartbeat::toJson() const {
    nlohmann::json periods = nlohmann::json::array();
    for (TimePeriod period : timePeriods) periods.push_back(static_cast<std::int64_t>(period));
    return {{"agent", agent}, {"date", date}, {"version", version}, {"timePeriods", periods}};
}

std::optional<Heartbeat> Heartbeat::fromJson(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto agent = json.find("agent");
    const auto date = json.find("date");
    const auto version = json.find("version");
    const auto periods = json.find("timePeriods");
    if (agent == json.end() || !agent->is_string() || date == json.end() || !date->is_number() ||
        version == json.end() || !version->is_number_integer() || periods == json.end() ||
        !periods->is_array())
        return std::nullopt;
    Heartbeat heartbeat{
        agent->get<std::string>(), date->get<double>(), version->get<std::int64_t>(), {}};
    for (const auto& raw : *periods) {
        const auto period = timePeriodFromJson(raw);
        if (!period) return std::nullopt;
        heartbeat.timePeriods.push_back(*period);
    }
    return heartbeat;
}

}  // namespace pex
