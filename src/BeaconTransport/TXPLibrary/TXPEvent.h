#pragma once
// One telemetry event: a producer's serialised payload with what storage and upload need to
// route it (mapping id, target, quality-of-service tier, expiry), the time it was sent and
// optional extras. Events are plain values; storage keeps each as one keyed archive.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPClock.h"
#include "BeaconTransport/TXPLibrary/TXPDate.h"
#include "BeaconTransport/TXPLibrary/TXPProductData.h"
#include "platform/foundation/PropertyList.h"

namespace pex {

// Quality-of-service tiers: which network conditions an event may be uploaded under.
enum TXPEventQoS : std::int64_t {
    TXPEventTierUnset = 0,      // Wi-Fi, or forced
    TXPEventTierTelemetry = 1,  // Wi-Fi, or forced
    TXPEventTierForcedOnly = 2,
    TXPEventTierStandard = 3,   // Wi-Fi or mobile data
    TXPEventTierImmediate = 4,  // storing it forces an upload of its target
    TXPEventTierWifi = 5,
};

// A producer's payload object; only its serialised bytes travel.
class TXPEventDataObject {
  public:
    virtual ~TXPEventDataObject() = default;
    virtual std::string transportBytes() const = 0;
};

class TXPEvent {
  public:
    static constexpr const char* kArchiveClassName = "TXPEvent";
    static constexpr std::int64_t kLifetimeSeconds = 604800;  // 7 days

    // A new random id: 32 upper-case hex digits.
    static std::string nextEventID();

    // None (after an assertion line) for an empty mapping id or a target of 0 or less.
    static std::optional<TXPEvent> make(const std::string& mappingID, std::int64_t target,
                                        std::optional<TXPProductData> productData = std::nullopt);

    // A new event for the same mapping id, product data and target, with a fresh expiry, that
    // takes over this event's id, data object (its bytes taken again), tier, clock and extras.
    TXPEvent copy() const;

    const std::string& eventID() const { return eventID_; }
    void setEventID(std::string eventID) { eventID_ = std::move(eventID); }
    const std::string& mappingID() const { return mappingID_; }
    std::int64_t target() const { return target_; }
    const std::shared_ptr<const TXPEventDataObject>& dataObject() const { return dataObject_; }
    // Keeps the object and replaces the payload bytes by its transport bytes.
    void setDataObject(std::shared_ptr<const TXPEventDataObject> dataObject);
    const std::optional<std::string>& serializedDataObjectBytes() const {
        return serializedDataObjectBytes_;
    }
    std::int64_t qosTier() const { return qosTier_; }
    void setQosTier(std::int64_t tier) { qosTier_ = tier; }
    const std::optional<TXPClock>& clockSnapshot() const { return clockSnapshot_; }
    void setClockSnapshot(std::optional<TXPClock> clock) { clockSnapshot_ = std::move(clock); }
    TXPDate expirationDate() const { return expirationDate_; }
    void setExpirationDate(TXPDate date) { expirationDate_ = date; }
    const std::optional<std::string>& customBytes() const { return customBytes_; }
    void setCustomBytes(std::optional<std::string> bytes) { customBytes_ = std::move(bytes); }
    const std::optional<TXPProductData>& productData() const { return productData_; }

    // Expiry and extras are not part of an event's identity.
    std::size_t hash() const;
    bool operator==(const TXPEvent& other) const;

    PropertyList::Dictionary encodeWithCoder() const;
    // None when the payload bytes are missing; a fresh id when the id is.
    static std::optional<TXPEvent> decodeWithCoder(const PropertyList::Dictionary& values);

    std::string description() const;

  private:
    TXPEvent() = default;

    std::string eventID_;
    std::string mappingID_;
    std::int64_t target_ = 0;
    std::shared_ptr<const TXPEventDataObject> dataObject_;
    std::optional<std::string> serializedDataObjectBytes_;
    std::int64_t qosTier_ = TXPEventTierStandard;
    std::optional<TXPClock> clockSnapshot_;
    TXPDate expirationDate_{};
    std::optional<std::string> customBytes_;
    std::optional<TXPProductData> productData_;
};

}  // namespace pex
