#pragma once
// Counts what the transport loses; as a storage delegate it hears of expired and dropped
// events. The uploader takes the counts of a window for each upload and gives back those that
// did not reach the server.
#include <cstdint>
#include <functional>
#include <memory>

#include "BeaconTransport/TXPLibrary/TXPMetrics.h"
#include "BeaconTransport/TXPLibrary/TXPStorageProtocol.h"

namespace pex {

class TXPMetricsControllerProtocol : public TXPStorageDelegate {
  public:
    using Done = std::function<void(ErrorRef)>;

    // Adds `events` to the stored counts under `reason`.
    virtual void logEventsDroppedForReason(std::int64_t reason, const TXPEventSet& events,
                                           Done onComplete) = 0;
    // The window's metrics (none when no window was stored); a new window starts now either way.
    virtual void getAndResetMetrics(
        std::function<void(std::shared_ptr<const TXPMetrics>)> onComplete) = 0;
    // Folds metrics that did not reach the server back into the current window.
    virtual void offerMetrics(std::shared_ptr<const TXPMetrics> metrics, Done onComplete) = 0;
};

}  // namespace pex
