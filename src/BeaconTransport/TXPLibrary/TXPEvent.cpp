#include "BeaconTransport/TXPLibrary/TXPEvent.h"

#include <functional>
#include <random>

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "platform/foundation/Hex.h"

namespace pex {

namespace {

constexpr const char* kEventIDKey = "TXPEventEventIDKey";
constexpr const char* kMappingIDKey = "TXPEventMappingIDKey";
constexpr const char* kProductDataKey = "TXPEventProductDataKey";
constexpr const char* kTargetKey = "TXPEventTargetKey";
constexpr const char* kQoSTierKey = "TXPEventQoSTierKey";
constexpr const char* kClockSnapshotKey = "TXPEventClockSnapshotKey";
constexpr const char* kCustomDataKey = "TXPEventCustomDataKey";
constexpr const char* kExpirationDateKey = "TXPEventExpirationDateKey";
constexpr const char* kSerializedBytesKey = "TXPEventSerializedDataObjectBytesKey";

// Nested objects carry their class name, so a value of another type is never read as one.
constexpr const char* kNestedClassKey = "$class";

template <typename T>
PropertyList nested(const T& object) {
    PropertyList::Dictionary values = object.encodeWithCoder();
    values[kNestedClassKey] = PropertyList(T::kArchiveClassName);
    return PropertyList(std::move(values));
}

template <typename T>
std::optional<T> decodeNested(const PropertyList::Dictionary& values, const char* key) {
    auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    const auto* dictionary = found->second.get<PropertyList::Dictionary>();
    if (!dictionary) return std::nullopt;
    const PropertyList* className = found->second.find(kNestedClassKey);
    const std::string* name = className ? className->get<std::string>() : nullptr;
    if (!name || *name != T::kArchiveClassName) return std::nullopt;
    return T::decodeWithCoder(*dictionary);
}

PropertyList bytesValue(const std::string& bytes) {
    return PropertyList(PropertyList::Data(bytes.begin(), bytes.end()));
}

std::optional<std::string> decodeBytes(const PropertyList::Dictionary& values, const char* key) {
    auto found = values.find(key);
    if (found == values.end()) return std::nullopt;
    const auto* data = found->second.get<PropertyList::Data>();
    if (!data) return std::nullopt;
    return std::string(data->begin(), data->end());
}

template <typename T>
const T* decodeValue(const PropertyList::Dictionary& values, const char* key) {
    auto found = values.find(key);
    return found == values.end() ? nullptr : found->second.get<T>();
}

}  // namespace

std::string TXPEvent::nextEventID() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    std::uint64_t high = random();
    std::uint64_t low = random();
    // A version-4 identifier, as the system's random identifiers are.
    high = (high & ~std::uint64_t{0xF000}) | 0x4000;
    low = (low & ~(std::uint64_t{0xC} << 60)) | (std::uint64_t{0x8} << 60);
    std::string id(32, '0');
    for (int i = 0; i < 16; ++i) {
        id[15 - i] = hexDigit(static_cast<unsigned>(high >> (4 * i)), HexCase::Upper);
        id[31 - i] = hexDigit(static_cast<unsigned>(low >> (4 * i)), HexCase::Upper);
    }
    return id;
}

std::optional<TXPEvent> TXPEvent::make(const std::string& mappingID, std::int64_t target,
                                       std::optional<TXPProductData> productData) {
    TXPAssert(!mappingID.empty(), "Please give a valid mapping ID");
    TXPAssert(target > 0, "A target cannot be negative or 0");
    if (mappingID.empty() || target <= 0) return std::nullopt;
    TXPEvent event;
    event.eventID_ = nextEventID();
    event.mappingID_ = mappingID;
    event.productData_ = productData;
    event.target_ = target;
    event.qosTier_ = TXPEventTierStandard;
    event.expirationDate_ = TXPDateNow() + std::chrono::seconds(kLifetimeSeconds);
    TXPLogDebug(0, "Event " + event.description() + " created. ID:" + event.eventID_ +
                       " mappingID: " + mappingID + " target:" + std::to_string(target));
    return event;
}

TXPEvent TXPEvent::copy() const {
    TXPEvent copied = *make(mappingID_, target_, productData_);
    copied.eventID_ = eventID_;
    copied.setDataObject(dataObject_);
    if (!dataObject_) copied.serializedDataObjectBytes_ = serializedDataObjectBytes_;
    copied.qosTier_ = qosTier_;
    copied.clockSnapshot_ = clockSnapshot_;
    copied.customBytes_ = customBytes_;
    TXPLogDebug(0, "Copying event " + description() + " to event " + copied.description());
    return copied;
}

void TXPEvent::setDataObject(std::shared_ptr<const TXPEventDataObject> dataObject) {
    dataObject_ = std::move(dataObject);
    if (dataObject_)
        serializedDataObjectBytes_ = dataObject_->transportBytes();
    else
        serializedDataObjectBytes_.reset();
}

std::size_t TXPEvent::hash() const {
    std::hash<std::string> text;
    std::hash<std::int64_t> number;
    return text(eventID_) ^ text(mappingID_) ^ (productData_ ? productData_->hash() : 0) ^
           (clockSnapshot_ ? clockSnapshot_->hash() : 0) ^
           (serializedDataObjectBytes_ ? text(*serializedDataObjectBytes_) : 0) ^ number(target_) ^
           number(qosTier_);
}

bool TXPEvent::operator==(const TXPEvent& other) const {
    return eventID_ == other.eventID_ && mappingID_ == other.mappingID_ &&
           productData_ == other.productData_ && clockSnapshot_ == other.clockSnapshot_ &&
           serializedDataObjectBytes_ == other.serializedDataObjectBytes_ &&
           target_ == other.target_ && qosTier_ == other.qosTier_;
}

PropertyList::Dictionary TXPEvent::encodeWithCoder() const {
    PropertyList::Dictionary values;
    values[kEventIDKey] = PropertyList(eventID_);
    values[kMappingIDKey] = PropertyList(mappingID_);
    if (productData_) values[kProductDataKey] = nested(*productData_);
    values[kTargetKey] = PropertyList(target_);
    values[kQoSTierKey] = PropertyList(qosTier_);
    if (clockSnapshot_) values[kClockSnapshotKey] = nested(*clockSnapshot_);
    if (customBytes_) values[kCustomDataKey] = bytesValue(*customBytes_);
    values[kExpirationDateKey] = PropertyList(TXPPropertyListDate(expirationDate_));
    if (serializedDataObjectBytes_)
        values[kSerializedBytesKey] = bytesValue(*serializedDataObjectBytes_);
    return values;
}

std::optional<TXPEvent> TXPEvent::decodeWithCoder(const PropertyList::Dictionary& values) {
    TXPEvent event;
    if (const auto* mappingID = decodeValue<std::string>(values, kMappingIDKey))
        event.mappingID_ = *mappingID;
    event.productData_ = decodeNested<TXPProductData>(values, kProductDataKey);
    if (const auto* target = decodeValue<std::int64_t>(values, kTargetKey)) event.target_ = *target;
    const auto* eventID = decodeValue<std::string>(values, kEventIDKey);
    event.eventID_ = eventID ? *eventID : nextEventID();
    const auto* tier = decodeValue<std::int64_t>(values, kQoSTierKey);
    event.qosTier_ = tier ? *tier : TXPEventTierUnset;
    event.clockSnapshot_ = decodeNested<TXPClock>(values, kClockSnapshotKey);
    event.customBytes_ = decodeBytes(values, kCustomDataKey);
    if (const auto* date = decodeValue<PropertyList::Date>(values, kExpirationDateKey))
        event.expirationDate_ = TXPDateFromPropertyList(*date);
    event.serializedDataObjectBytes_ = decodeBytes(values, kSerializedBytesKey);
    if (!event.serializedDataObjectBytes_) return std::nullopt;
    return event;
}

std::string TXPEvent::description() const {
    return "<TXPEvent " + eventID_ + " mappingID:" + mappingID_ +
           " target:" + std::to_string(target_) + " tier:" + std::to_string(qosTier_) + ">";
}

}  // namespace pex
