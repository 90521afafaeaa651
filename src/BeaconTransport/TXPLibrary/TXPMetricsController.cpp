#include "BeaconTransport/TXPLibrary/TXPMetricsController.h"

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex {

const std::shared_ptr<TXPMetricsController>& TXPMetricsController::sharedInstance() {
    static auto* instance = new std::shared_ptr<TXPMetricsController>(
        std::make_shared<TXPMetricsController>(TXPFlatFileStorage::sharedInstance()));
    return *instance;
}

void TXPMetricsController::logEventsDroppedForReason(std::int64_t reason, const TXPEventSet& events,
                                                     Done onComplete) {
    if (events.empty()) {
        if (onComplete) onComplete(nullptr);
        return;
    }
    TXPLogSourceMetrics counts = TXPLogSourceMetrics::metricsWithEvents(events, reason);
    storage_->fetchAndUpdateMetricsWithHandler(
        [counts](std::optional<TXPMetricsMetadata> stored, ErrorRef error) {
            if (!stored) {
                TXPLogDebug(0, "Error fetching metrics metadata: " +
                                   (error ? error->description() : std::string("(none)")));
                return std::optional<TXPMetricsMetadata>(TXPMetricsMetadata{TXPDateNow(), counts});
            }
            return std::optional<TXPMetricsMetadata>(TXPMetricsMetadata{
                stored->collectionStartDate,
                stored->logSourceMetrics.logSourceMetricsByMergingWithLogSourceMetrics(counts)});
        },
        std::move(onComplete));
}

void TXPMetricsController::getAndResetMetrics(
    std::function<void(std::shared_ptr<const TXPMetrics>)> onComplete) {
    auto taken = std::make_shared<std::optional<TXPMetricsMetadata>>();
    auto storage = storage_;
    storage_->fetchAndUpdateMetricsWithHandler(
        [taken](std::optional<TXPMetricsMetadata> stored, ErrorRef error) {
            if (!stored)
                TXPLogDebug(0, "Error fetching metrics metadata: " +
                                   (error ? error->description() : std::string("(none)")));
            *taken = std::move(stored);
            return std::optional<TXPMetricsMetadata>(TXPMetricsMetadata{TXPDateNow(), {}});
        },
        [taken, storage, onComplete = std::move(onComplete)](ErrorRef) {
            if (!*taken) {
                onComplete(nullptr);  // the upload goes out without a metrics event
                return;
            }
            storage->fetchStorageMetadata([taken, onComplete](TXPStorageMetadata sizes) {
                onComplete(std::make_shared<const TXPMetrics>(
                    TXPMetrics::metricsWithMetricsMetadata(**taken, sizes)));
            });
        });
}

void TXPMetricsController::offerMetrics(std::shared_ptr<const TXPMetrics> metrics,
                                        Done onComplete) {
    if (!metrics) {
        if (onComplete) onComplete(nullptr);
        return;
    }
    storage_->fetchAndUpdateMetricsWithHandler(
        [metrics](std::optional<TXPMetricsMetadata> stored, ErrorRef error) {
            auto seconds = [](TXPDate date) { return TXPSecondsSince1970(date); };
            if (stored) {
                // Counts of a window that started later than the stored one are not folded in.
                if (seconds(metrics->collectionStartDate) > seconds(stored->collectionStartDate))
                    return stored;
                return std::optional<TXPMetricsMetadata>(TXPMetricsMetadata{
                    metrics->collectionStartDate,
                    stored->logSourceMetrics.logSourceMetricsByMergingWithLogSourceMetrics(
                        metrics->logSourceMetrics)});
            }
            TXPLogDebug(0, "Error fetching metrics metadata: " +
                               (error ? error->description() : std::string("(none)")));
            if (seconds(metrics->collectionStartDate) <= seconds(TXPDateNow()))
                return std::optional<TXPMetricsMetadata>(
                    TXPMetricsMetadata{metrics->collectionStartDate, metrics->logSourceMetrics});
            return std::optional<TXPMetricsMetadata>(TXPMetricsMetadata{TXPDateNow(), {}});
        },
        std::move(onComplete));
}

void TXPMetricsController::storageDidRemoveExpiredEvents(TXPStorageProtocol&,
                                                         const TXPEventSet& events) {
    logEventsDroppedForReason(TXPEventDropReasonExpired, events, nullptr);
}

void TXPMetricsController::storageDidDropEvent(TXPStorageProtocol&, const TXPEvent& event) {
    TXPEventSet one;
    TXPEventSetAdd(one, event);
    logEventsDroppedForReason(TXPEventDropReasonStorageFull, one, nullptr);
}

}  // namespace pex
