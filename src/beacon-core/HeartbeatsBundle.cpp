#include "beacon-core/HeartbeatsBundle.h"

#include <algorithm>

#include "beacon-core/HeartbeatsPayload.h"

namespace pex {

HeartbeatsBundle::Dates HeartbeatsBundle::defaultDates() {
    Dates dates;
    for (TimePeriod period : kAllTimePeriods) dates[period] = kHeartbeatDistantPast;
    return dates;
}

HeartbeatsBundle::HeartbeatsBundle(std::int64_t capacity)
    : HeartbeatsBundle(capacity, defaultDates()) {}

HeartbeatsBundle::HeartbeatsBundle(std::int64_t capacity, Dates lastAddedHeartbeatDates)
    : HeartbeatsBundle(capacity, std::move(lastAddedHeartbeatDates),
                       RingBuffer<Heartbeat>(capacity)) {}

HeartbeatsBundle::HeartbeatsBundle(std::int64_t capacity, Dates lastAddedHeartbeatDates,
                                   RingBuffer<Heartbeat> buffer)
    : capacity_(capacity),
      lastAddedHeartbeatDates_(std::move(lastAddedHeartbeatDates)),
      buffer_(std::move(buffer)) {}

void HeartbeatsBundle::append(const Heartbeat& heartbeat) {
    if (capacity_ <= 0) return;
    auto result = buffer_.push(heartbeat);
    if (auto* replaced = std::get_if<std::optional<Heartbeat>>(&result)) {
        if (*replaced) {
            for (auto& [period, date] : lastAddedHeartbeatDates_)
                if (date == (*replaced)->date) date = kHeartbeatDistantPast;
        }
        for (TimePeriod period : heartbeat.timePeriods)
            lastAddedHeartbeatDates_[period] = heartbeat.date;
        return;
    }
    // The stored tail was out of range: start over and leave a trace of it for the server.
    const auto& failure = std::get<RingBufferOutOfBoundsPush>(result);
    *this = HeartbeatsBundle(capacity_);
    std::string message = failure.message();
    std::replace(message.begin(), message.end(), ' ', '-');
    const Heartbeat diagnostic{heartbeat.agent + " error/" + message, heartbeat.date, 0,
                               heartbeat.timePeriods};
    if (std::holds_alternative<std::optional<Heartbeat>>(buffer_.push(diagnostic))) {
        for (TimePeriod period : diagnostic.timePeriods)
            lastAddedHeartbeatDates_[period] = diagnostic.date;
    }
}

std::optional<Heartbeat> HeartbeatsBundle::takeHeartbeat(HeartbeatDate date) {
    std::vector<Heartbeat> kept;  // newest first
    std::optional<Heartbeat> found;
    while (auto popped = buffer_.pop()) {
        if (popped->date == date) {
            found = std::move(popped);
            break;
        }
        kept.push_back(std::move(*popped));
    }
    for (auto it = kept.rbegin(); it != kept.rend(); ++it) buffer_.push(*it);
    return found;
}

HeartbeatsPayload HeartbeatsBundle::makePayload() const {
    std::vector<HeartbeatsPayload::UserAgentPayload> entries;
    for (const Heartbeat& heartbeat : buffer_.elements()) {
        auto same = std::find_if(entries.begin(), entries.end(),
                                 [&](const auto& entry) { return entry.agent == heartbeat.agent; });
        if (same == entries.end())
            entries.push_back({heartbeat.agent, {heartbeat.date}});
        else
            same->dates.push_back(heartbeat.date);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.agent < b.agent; });
    return HeartbeatsPayload(std::move(entries));
}

nlohmann::json HeartbeatsBundle::toJson() const {
    nlohmann::json dates = nlohmann::json::array();
    for (const auto& [period, date] : lastAddedHeartbeatDates_) {
        dates.push_back(static_cast<std::int64_t>(period));
        dates.push_back(date);
    }
    nlohmann::json slotList = nlohmann::json::array();
    for (const auto& slot : buffer_.circularQueue())
        slotList.push_back(slot ? slot->toJson() : nlohmann::json());
    return {{"capacity", capacity_},
            {"lastAddedHeartbeatDates", dates},
            {"buffer", {{"circularQueue", slotList}, {"tailIndex", buffer_.tailIndex()}}}};
}

std::optional<HeartbeatsBundle> HeartbeatsBundle::fromJson(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto capacity = json.find("capacity");
    const auto dates = json.find("lastAddedHeartbeatDates");
    const auto buffer = json.find("buffer");
    if (capacity == json.end() || !capacity->is_number_integer() || dates == json.end() ||
        !dates->is_array() || dates->size() % 2 != 0 || buffer == json.end() ||
        !buffer->is_object())
        return std::nullopt;
    Dates lastAdded;
    for (std::size_t i = 0; i < dates->size(); i += 2) {
        const auto period = timePeriodFromJson((*dates)[i]);
        if (!period || !(*dates)[i + 1].is_number()) return std::nullopt;
        lastAdded[*period] = (*dates)[i + 1].get<double>();
    }
    const auto slotList = buffer->find("circularQueue");
    const auto tail = buffer->find("tailIndex");
    if (slotList == buffer->end() || !slotList->is_array() || tail == buffer->end() ||
        !tail->is_number_integer())
        return std::nullopt;
    std::vector<std::optional<Heartbeat>> queue;
    for (const auto& slot : *slotList) {
        if (slot.is_null()) {
            queue.emplace_back();
            continue;
        }
        auto heartbeat = Heartbeat::fromJson(slot);
        if (!heartbeat) return std::nullopt;
        queue.emplace_back(std::move(heartbeat));
    }
    return HeartbeatsBundle(capacity->get<std::int64_t>(), std::move(lastAdded),
                            RingBuffer<Heartbeat>(std::move(queue), tail->get<std::int64_t>()));
}

}  // namespace pex
