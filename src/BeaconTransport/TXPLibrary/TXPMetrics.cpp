#include "BeaconTransport/TXPLibrary/TXPMetrics.h"

#include <pb_encode.h>

#include <list>

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "BeaconTransport/cct/TXBNanopbFields.h"
#include "BeaconTransport/cct/protos/txp_metrics.pb.h"
#include "platform/foundation/Bundle.h"

namespace pex {

namespace {

// Whole seconds (truncated), then milliseconds: a window from 12.9 s is sent as 12000.
std::int64_t wholeSecondMillis(TXPDate date) {
    return static_cast<std::int64_t>(TXPSecondsSince1970(date)) * 1000;
}

}  // namespace

TXPMetrics TXPMetrics::metricsWithMetricsMetadata(const TXPMetricsMetadata& metadata,
                                                  const TXPStorageMetadata& storage) {
    return TXPMetrics(metadata.collectionStartDate, TXPDateNow(), metadata.logSourceMetrics,
                      storage.currentCacheSize, storage.maxCacheSize,
                      Bundle::main().bundleIdentifier());
}

std::string TXPMetrics::transportBytes() const {
    txp_MetricsMessage message = txp_MetricsMessage_init_zero;
    std::int64_t from = wholeSecondMillis(collectionStartDate);
    std::int64_t to = wholeSecondMillis(collectionEndDate);
    message.has_window = from != 0 || to != 0;
    message.window.has_from_ms = from != 0;
    message.window.from_ms = from;
    message.window.has_to_ms = to != 0;
    message.window.to_ms = to;

    std::list<std::string> sourceIDs;  // stable addresses for the callbacks
    std::list<nanopb::RepeatedField<txp_DroppedMessage>> droppedLists;
    nanopb::RepeatedField<txp_SourceDropsMessage> sources{txp_SourceDropsMessage_fields, {}};
    for (const auto& [source, reasons] : logSourceMetrics.droppedEventCounterByLogSource()) {
        txp_SourceDropsMessage entry = txp_SourceDropsMessage_init_zero;
        if (!source.empty()) nanopb::setBytes(entry.source_id, &sourceIDs.emplace_back(source));
        auto& dropped = droppedLists.emplace_back(
            nanopb::RepeatedField<txp_DroppedMessage>{txp_DroppedMessage_fields, {}});
        for (const auto& [reason, count] : reasons) {
            txp_DroppedMessage drop = txp_DroppedMessage_init_zero;
            drop.has_dropped_count = count != 0;
            drop.dropped_count = count;
            std::int64_t wire = reason >= 1 && reason <= 6 ? reason : 0;
            drop.has_reason = wire != 0;
            drop.reason = static_cast<txp_DroppedMessage_Reason>(wire);
            dropped.items.push_back(drop);
        }
        nanopb::setRepeated(entry.dropped, dropped);
        sources.items.push_back(entry);
    }
    nanopb::setRepeated(message.per_source, sources);
    message.overall.store.has_used_bytes = currentCacheSize != 0;
    message.overall.store.used_bytes = static_cast<std::int64_t>(currentCacheSize);
    message.overall.store.has_limit_bytes = maxCacheSize != 0;
    message.overall.store.limit_bytes = static_cast<std::int64_t>(maxCacheSize);
    message.overall.has_store = currentCacheSize != 0 || maxCacheSize != 0;
    message.has_overall = message.overall.has_store;
    std::string appID = bundleID;
    if (!appID.empty()) nanopb::setBytes(message.app_id, &appID);

    std::size_t size = 0;
    if (!pb_get_encoded_size(&size, txp_MetricsMessage_fields, &message)) {
        TXPConsoleLog(TXPMessageCodeMetricsEncoding, TXPLogLevelError,
                      "Error in nanopb encoding for size: (none)");
        return {};
    }
    std::string bytes(size, '\0');
    pb_ostream_t stream =
        pb_ostream_from_buffer(reinterpret_cast<pb_byte_t*>(bytes.data()), bytes.size());
    if (!pb_encode(&stream, txp_MetricsMessage_fields, &message)) {
        const char* problem = PB_GET_ERROR(&stream);
        TXPConsoleLog(
            TXPMessageCodeMetricsEncoding, TXPLogLevelError,
            std::string("Error in nanopb encoding for size: ") + (problem ? problem : "(none)"));
        return {};
    }
    bytes.resize(stream.bytes_written);
    return bytes;
}

TXPEvent TXPMetrics::eventWithMetrics(std::shared_ptr<const TXPMetrics> metrics,
                                      std::int64_t target) {
    TXPEvent event = *TXPEvent::make(TXPMetricsMappingID, target);
    event.setDataObject(std::move(metrics));
    return event;
}

}  // namespace pex
