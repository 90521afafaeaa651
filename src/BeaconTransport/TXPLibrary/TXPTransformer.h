#pragma once
// Runs each sent event through its transport's transformers, one event at a time in sending
// order on one serial queue, and hands the result to the storage registered for its target.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPApplication.h"
#include "BeaconTransport/TXPLibrary/TXPEventTransformer.h"
#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "platform/foundation/DispatchQueue.h"

namespace pex {

class TXPTransformer {
  public:
    using Completion = std::function<void(bool written, ErrorRef error)>;
    using Transformers = std::vector<std::shared_ptr<TXPEventTransformer>>;
    static constexpr const char* kErrorDomain = "TXPTransformer";

    static const std::shared_ptr<TXPTransformer>& sharedInstance();
    // `application` outlives the transformer.
    TXPTransformer(TXPApplicationProtocol& application, std::shared_ptr<TXPRegistrar> registrar);

    TXPApplicationProtocol& application() const { return application_; }
    const DispatchQueue& eventWritingQueue() const { return eventWritingQueue_; }

    // The completion is called once: by storage, or here when a transformer drops the event,
    // a transformer is missing, or no storage is registered for the event's target.
    void transformEvent(std::optional<TXPEvent> event, Transformers transformers,
                        Completion onComplete);

  private:
    DispatchQueue eventWritingQueue_;
    TXPApplicationProtocol& application_;
    const std::shared_ptr<TXPRegistrar> registrar_;
};

}  // namespace pex
