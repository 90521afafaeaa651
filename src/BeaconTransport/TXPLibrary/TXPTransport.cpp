#include "BeaconTransport/TXPLibrary/TXPTransport.h"

#include "BeaconTransport/TXPLibrary/TXPLog.h"

namespace pex {

std::shared_ptr<TXPTransport> TXPTransport::make(
    const std::string& mappingID, TXPTransformer::Transformers transformers, std::int64_t target,
    std::shared_ptr<TXPTransformer> transformerInstance) {
    TXPAssert(!mappingID.empty(), "A mapping ID cannot be nil or empty");
    TXPAssert(target > 0, "A target cannot be negative or 0");
    if (mappingID.empty() || target <= 0) return nullptr;
    if (!transformerInstance) transformerInstance = TXPTransformer::sharedInstance();
    TXPLogDebug(0, "Transport object created. mappingID:" + mappingID + " transformers:" +
                       std::to_string(transformers.size()) + " target:" + std::to_string(target));
    return std::shared_ptr<TXPTransport>(new TXPTransport(mappingID, std::move(transformers),
                                                          target, std::move(transformerInstance)));
}

TXPTransport::TXPTransport(std::string mappingID, TXPTransformer::Transformers transformers,
                           std::int64_t target, std::shared_ptr<TXPTransformer> transformerInstance)
    : mappingID_(std::move(mappingID)),
      transformers_(std::move(transformers)),
      target_(target),
      transformerInstance_(std::move(transformerInstance)) {}

TXPEvent TXPTransport::eventForTransport() const {
    return *TXPEvent::make(mappingID_, target_);
}

TXPEvent TXPTransport::eventForTransportWithProductData(TXPProductData productData) const {
    return *TXPEvent::make(mappingID_, target_, productData);
}

void TXPTransport::sendTelemetryEvent(TXPEvent& event, Completion onComplete) {
    event.setQosTier(TXPEventTierTelemetry);
    sendEvent(event, std::move(onComplete));
}

void TXPTransport::sendDataEvent(const TXPEvent& event, Completion onComplete) {
    TXPAssert(event.qosTier() != TXPEventTierTelemetry, "Use -sendTelemetryEvent, please.");
    sendEvent(event, std::move(onComplete));
}

void TXPTransport::sendEvent(const TXPEvent& event, Completion onComplete) {
    // The producer's event stays as it is: the copy is what gets stamped and stored.
    TXPEvent copy = event.copy();
    copy.setClockSnapshot(TXPClock::snapshot());
    transformerInstance_->transformEvent(std::move(copy), transformers_, std::move(onComplete));
}

}  // namespace pex
