#pragma once
// Counts what the transport loses; as a storage delegate it hears of expired and dropped
// events.
#include "BeaconTransport/TXPLibrary/TXPStorageProtocol.h"

namespace pex {

class TXPMetricsControllerProtocol : public TXPStorageDelegate {};

}  // namespace pex
