#pragma once
// Counts of lost events per log source (mapping id) and drop reason.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPUploadBatch.h"
#include "platform/foundation/PropertyList.h"

namespace pex {

// Why events were lost; only 1-6 are valid on the wire (anything else is sent as 0).
enum TXPEventDropReason : std::int64_t {
    TXPEventDropReasonUnknown = 0,
    TXPEventDropReasonExpired = 1,
    TXPEventDropReasonStorageFull = 2,
    TXPEventDropReasonServerRejected = 5,
};

class TXPLogSourceMetrics {
  public:
    using Counts = std::map<std::string, std::map<std::int64_t, std::int64_t>>;
    static constexpr const char* kArchiveClassName = "TXPLogSourceMetrics";

    TXPLogSourceMetrics() = default;
    explicit TXPLogSourceMetrics(Counts counts)
        : droppedEventCounterByLogSource_(std::move(counts)) {}

    // One count per event under (its mapping id, reason); events without mapping id are skipped.
    static TXPLogSourceMetrics metricsWithEvents(const TXPEventSet& events, std::int64_t reason);
    // Union of sources and reasons; counts of the same source and reason add up.
    TXPLogSourceMetrics logSourceMetricsByMergingWithLogSourceMetrics(
        const TXPLogSourceMetrics& other) const;

    const Counts& droppedEventCounterByLogSource() const { return droppedEventCounterByLogSource_; }
    bool operator==(const TXPLogSourceMetrics&) const = default;

    PropertyList::Dictionary encodeWithCoder() const;
    static std::optional<TXPLogSourceMetrics> decodeWithCoder(
        const PropertyList::Dictionary& values);

  private:
    Counts droppedEventCounterByLogSource_;
};

}  // namespace pex
