#pragma once
// Small helpers to make events with a payload.
#include <memory>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPEvent.h"

namespace pex::test {

class BytesDataObject : public TXPEventDataObject {
  public:
    explicit BytesDataObject(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string transportBytes() const override { return bytes_; }

  private:
    std::string bytes_;
};

inline TXPEvent makeEvent(const std::string& mappingID, std::int64_t target,
                          const std::string& payload = "payload",
                          std::int64_t tier = TXPEventTierStandard) {
    TXPEvent event = *TXPEvent::make(mappingID, target);
    event.setDataObject(std::make_shared<BytesDataObject>(payload));
    event.setQosTier(tier);
    event.setClockSnapshot(TXPClock::snapshot());
    return event;
}

}  // namespace pex::test
