#pragma once
// The stored counting window: when it began and what was lost since.
#include <optional>

#include "BeaconTransport/TXPLibrary/TXPDate.h"
#include "BeaconTransport/TXPLibrary/TXPLogSourceMetrics.h"

namespace pex {

struct TXPMetricsMetadata {
    static constexpr const char* kArchiveClassName = "TXPMetricsMetadata";

    TXPDate collectionStartDate;
    TXPLogSourceMetrics logSourceMetrics;

    bool operator==(const TXPMetricsMetadata&) const = default;

    PropertyList::Dictionary encodeWithCoder() const {
        return {{"collectionStartDate", PropertyList(TXPPropertyListDate(collectionStartDate))},
                {"logSourceMetrics", PropertyList(logSourceMetrics.encodeWithCoder())}};
    }
    static std::optional<TXPMetricsMetadata> decodeWithCoder(
        const PropertyList::Dictionary& values) {
        auto start = values.find("collectionStartDate");
        auto metrics = values.find("logSourceMetrics");
        if (start == values.end() || metrics == values.end()) return std::nullopt;
        const auto* date = start->second.get<PropertyList::Date>();
        const auto* dictionary = metrics->second.get<PropertyList::Dictionary>();
        if (!date || !dictionary) return std::nullopt;
        auto decoded = TXPLogSourceMetrics::decodeWithCoder(*dictionary);
        if (!decoded) return std::nullopt;
        return TXPMetricsMetadata{TXPDateFromPropertyList(*date), std::move(*decoded)};
    }
};

}  // namespace pex
