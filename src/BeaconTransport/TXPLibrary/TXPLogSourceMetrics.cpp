#include "BeaconTransport/TXPLibrary/TXPLogSourceMetrics.h"

#include <charconv>

namespace pex {

namespace {
constexpr const char* kCountsKey = "droppedEventCounterByLogSource";
}

TXPLogSourceMetrics TXPLogSourceMetrics::metricsWithEvents(const TXPEventSet& events,
                                                           std::int64_t reason) {
    Counts counts;
    for (const auto& [id, event] : events)
        if (!event.mappingID().empty()) ++counts[event.mappingID()][reason];
    return TXPLogSourceMetrics(std::move(counts));
}

TXPLogSourceMetrics TXPLogSourceMetrics::logSourceMetricsByMergingWithLogSourceMetrics(
    const TXPLogSourceMetrics& other) const {
    Counts merged = droppedEventCounterByLogSource_;
    for (const auto& [source, reasons] : other.droppedEventCounterByLogSource_)
        for (const auto& [reason, count] : reasons) merged[source][reason] += count;
    return TXPLogSourceMetrics(std::move(merged));
}

PropertyList::Dictionary TXPLogSourceMetrics::encodeWithCoder() const {
    PropertyList::Dictionary sources;
    for (const auto& [source, reasons] : droppedEventCounterByLogSource_) {
        PropertyList::Dictionary byReason;
        for (const auto& [reason, count] : reasons)
            byReason[std::to_string(reason)] = PropertyList(count);
        sources[source] = PropertyList(std::move(byReason));
    }
    return {{kCountsKey, PropertyList(std::move(sources))}};
}

std::optional<TXPLogSourceMetrics> TXPLogSourceMetrics::decodeWithCoder(
    const PropertyList::Dictionary& values) {
    auto found = values.find(kCountsKey);
    if (found == values.end()) return std::nullopt;
    const auto* sources = found->second.get<PropertyList::Dictionary>();
    if (!sources) return std::nullopt;
    Counts counts;
    for (const auto& [source, value] : *sources) {
        const auto* reasons = value.get<PropertyList::Dictionary>();
        if (!reasons) return std::nullopt;
        for (const auto& [reasonText, count] : *reasons) {
            std::int64_t reason = 0;
            auto [end, error] =
                std::from_chars(reasonText.data(), reasonText.data() + reasonText.size(), reason);
            const auto* number = count.get<std::int64_t>();
            if (error != std::errc() || end != reasonText.data() + reasonText.size() || !number)
                return std::nullopt;
            counts[source][reason] = *number;
        }
    }
    return TXPLogSourceMetrics(std::move(counts));
}

}  // namespace pex
