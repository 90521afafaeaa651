#pragma once
// A producer's step between sending and storing: returns the event to store (changed or not),
// or none to drop it.
#include <optional>

#include "BeaconTransport/TXPLibrary/TXPEvent.h"

namespace pex {

class TXPEventTransformer {
  public:
    virtual ~TXPEventTransformer() = default;
    virtual std::optional<TXPEvent> transformTXEvent(TXPEvent event) = 0;
};

}  // namespace pex
