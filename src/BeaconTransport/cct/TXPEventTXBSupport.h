#pragma once
// Extras an event carries in its custom bytes (a JSON object) for the upload message: whether
// it asks for the network-connection record, the record itself (Base64 of 16 bytes) and an
// event code. A malformed JSON object is logged and left unchanged.
#include <cstdint>
#include <optional>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPEvent.h"

namespace pex {

bool TXBNeedsNetworkConnectionInfoPopulated(const TXPEvent& event);
void TXBSetNeedsNetworkConnectionInfoPopulated(TXPEvent& event, bool needed);
std::optional<std::string> TXBNetworkConnectionInfoData(const TXPEvent& event);
void TXBSetNetworkConnectionInfoData(TXPEvent& event, const std::string& record);
std::optional<std::int64_t> TXBEventCode(const TXPEvent& event);
void TXBSetEventCode(TXPEvent& event, std::optional<std::int64_t> code);

}  // namespace pex
