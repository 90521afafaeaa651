#pragma once
// Counts the events the transport loses (expired, storage full, rejected by the server) in the
// storage's "metrics_metadata" record, hands the counts of the window out for an upload, and
// folds back counts that did not reach the server. Every read-modify-write is one storage
// call, serialised on the storage's queue.
#include <functional>
#include <memory>
#include <optional>

#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPMetrics.h"
#include "BeaconTransport/TXPLibrary/TXPMetricsControllerProtocol.h"

namespace pex {

class TXPMetricsController : public TXPMetricsControllerProtocol {
  public:
    static const std::shared_ptr<TXPMetricsController>& sharedInstance();
    explicit TXPMetricsController(std::shared_ptr<TXPFlatFileStorage> storage)
        : storage_(std::move(storage)) {}

    void logEventsDroppedForReason(std::int64_t reason, const TXPEventSet& events,
                                   Done onComplete) override;
    void getAndResetMetrics(
        std::function<void(std::shared_ptr<const TXPMetrics>)> onComplete) override;
    void offerMetrics(std::shared_ptr<const TXPMetrics> metrics, Done onComplete) override;

    void storageDidRemoveExpiredEvents(TXPStorageProtocol& storage,
                                       const TXPEventSet& events) override;
    void storageDidDropEvent(TXPStorageProtocol& storage, const TXPEvent& event) override;

  private:
    std::shared_ptr<TXPFlatFileStorage> storage_;
};

}  // namespace pex
