#include "beacon-core/HeartbeatController.h"

#include "platform/foundation/ReferenceDate.h"

namespace pex {

namespace {

// A flushed store keeps its period dates (so today stays logged) and loses its heartbeats.
std::optional<HeartbeatsBundle> resetTransform(std::optional<HeartbeatsBundle> bundle) {
    if (!bundle) return std::nullopt;
    return HeartbeatsBundle(HeartbeatController::storageCapacity,
                            bundle->lastAddedHeartbeatDates());
}

HeartbeatsPayload payloadOf(const HeartbeatStorage::ExchangeResult& result) {
    const auto* old = std::get_if<std::optional<HeartbeatsBundle>>(&result);
    if (!old || !*old) return HeartbeatsPayload::empty();
    return (*old)->makePayload();
}

}  // namespace

HeartbeatController::HeartbeatController(const std::string& id, WallClock clock)
    : storage_(HeartbeatStorage::instanceForID(id)),
      clock_(clock ? std::move(clock)
                   : WallClock([] { return std::chrono::system_clock::now(); })) {}

HeartbeatDate HeartbeatController::startOfDay(std::chrono::system_clock::time_point time) {
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(day.time_since_epoch());
    return static_cast<HeartbeatDate>(seconds.count() - ReferenceDate::kSecondsSince1970);
}

HeartbeatDate HeartbeatController::today() const {
    return startOfDay(clock_());
}

void HeartbeatController::log(const std::string& agent) {
    const HeartbeatDate date = today();
    storage_->transformAsync([agent, date](std::optional<HeartbeatsBundle> stored) {
        HeartbeatsBundle bundle = stored ? std::move(*stored) : HeartbeatsBundle(storageCapacity);
        std::vector<TimePeriod> due;
        for (const auto& [period, last] : bundle.lastAddedHeartbeatDates())
            if (date - last >= static_cast<double>(kTimePeriodSeconds)) due.push_back(period);
        if (!due.empty()) bundle.append(Heartbeat{agent, date, 0, due});
        return std::optional<HeartbeatsBundle>(std::move(bundle));
    });
}

HeartbeatsPayload HeartbeatController::flush() {
    return payloadOf(storage_->exchangeSync(resetTransform));
}

void HeartbeatController::flushAsync(std::function<void(HeartbeatsPayload)> completion) {
    storage_->exchangeAsync(resetTransform, [completion = std::move(completion)](
                                                HeartbeatStorage::ExchangeResult result) {
        if (completion) completion(payloadOf(result));
    });
}

HeartbeatsPayload HeartbeatController::flushHeartbeatFromToday() {
    const HeartbeatDate date = today();
    std::optional<Heartbeat> taken;
    storage_->transformSync([&](std::optional<HeartbeatsBundle> bundle) {
        if (bundle) taken = bundle->takeHeartbeat(date);
        return bundle;
    });
    if (!taken) return HeartbeatsPayload::empty();
    return HeartbeatsPayload({{taken->agent, {taken->date}}});
}

}  // namespace pex
