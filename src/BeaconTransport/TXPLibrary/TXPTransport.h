#pragma once
// The send interface of one log source (mapping id) and upload target: producers ask it for
// empty events, fill them in and send them. Sending copies the event, stamps it with the time
// and passes it through the transformers to storage; uploading happens later.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPTransformer.h"

namespace pex {

class TXPTransport {
  public:
    using Completion = TXPTransformer::Completion;

    // None (after an assertion line) for an empty mapping id or a target of 0 or less.
    // Without a transformer instance the shared one is used.
    static std::shared_ptr<TXPTransport> make(
        const std::string& mappingID, TXPTransformer::Transformers transformers,
        std::int64_t target, std::shared_ptr<TXPTransformer> transformerInstance = nullptr);

    const std::string& mappingID() const { return mappingID_; }
    std::int64_t target() const { return target_; }
    const TXPTransformer::Transformers& transformers() const { return transformers_; }
    const std::shared_ptr<TXPTransformer>& transformerInstance() const {
        return transformerInstance_;
    }

    TXPEvent eventForTransport() const;
    TXPEvent eventForTransportWithProductData(TXPProductData productData) const;

    // Sets the event's tier to TXPEventTierTelemetry, then sends.
    void sendTelemetryEvent(TXPEvent& event, Completion onComplete = nullptr);
    // Sends with the tier the producer set (a telemetry tier is sent after an assertion line).
    void sendDataEvent(const TXPEvent& event, Completion onComplete = nullptr);

    static void noop() {}

  private:
    TXPTransport(std::string mappingID, TXPTransformer::Transformers transformers,
                 std::int64_t target, std::shared_ptr<TXPTransformer> transformerInstance);
    void sendEvent(const TXPEvent& event, Completion onComplete);

    const std::string mappingID_;
    const TXPTransformer::Transformers transformers_;
    const std::int64_t target_;
    const std::shared_ptr<TXPTransformer> transformerInstance_;
};

}  // namespace pex
