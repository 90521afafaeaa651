#pragma once
// The metrics of one counting window, taken for an upload: the payload of its metrics event
// (mapping id "1710").
#include <cstdint>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPEvent.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsMetadata.h"
#include "BeaconTransport/TXPLibrary/TXPStorageMetadata.h"

namespace pex {

inline constexpr const char* TXPMetricsMappingID = "1710";

class TXPMetrics : public TXPEventDataObject {
  public:
    TXPMetrics(TXPDate collectionStartDate, TXPDate collectionEndDate,
               TXPLogSourceMetrics logSourceMetrics, std::uint64_t currentCacheSize,
               std::uint64_t maxCacheSize, std::string bundleID)
        : collectionStartDate(collectionStartDate),
          collectionEndDate(collectionEndDate),
          logSourceMetrics(std::move(logSourceMetrics)),
          currentCacheSize(currentCacheSize),
          maxCacheSize(maxCacheSize),
          bundleID(std::move(bundleID)) {}

    // Window and counts from `metadata`, ending now; sizes from `storage`; the main bundle's
    // identifier.
    static TXPMetrics metricsWithMetricsMetadata(const TXPMetricsMetadata& metadata,
                                                 const TXPStorageMetadata& storage);

    // The metrics message; every field only when it is not zero or empty.
    std::string transportBytes() const override;

    // A new event of mapping id "1710" for `target` carrying these metrics.
    static TXPEvent eventWithMetrics(std::shared_ptr<const TXPMetrics> metrics,
                                     std::int64_t target);

    // Field by field: the event-data base has nothing of its own to compare.
    bool operator==(const TXPMetrics& other) const {
        return collectionStartDate == other.collectionStartDate &&
               collectionEndDate == other.collectionEndDate &&
               logSourceMetrics == other.logSourceMetrics &&
               currentCacheSize == other.currentCacheSize && maxCacheSize == other.maxCacheSize &&
               bundleID == other.bundleID;
    }

    const TXPDate collectionStartDate;
    const TXPDate collectionEndDate;
    const TXPLogSourceMetrics logSourceMetrics;
    const std::uint64_t currentCacheSize;
    const std::uint64_t maxCacheSize;
    const std::string bundleID;
};

}  // namespace pex
