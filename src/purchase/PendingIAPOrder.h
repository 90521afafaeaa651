#pragma once
// An App Store order that the service created but has not yet credited: kept until its receipt
// has been accepted, so that an interrupted purchase can be uploaded again on a later start.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace pex {

struct PendingIAPOrder {
    std::string orderNo;                       // the service's order number
    std::string productId;                     // the store's product identifier
    std::optional<std::string> transactionId;  // known once the purchase went through

    bool operator==(const PendingIAPOrder&) const = default;

    // The stored form: a UTF-8 JSON array of {"orderNo","productId"[,"transactionId"]}.
    // Anything but a JSON array gives none. An element that is not such an object (without
    // "orderNo" or "productId", a value of the wrong kind) is skipped, so one damaged order
    // never costs the others; `skipped`, when given, receives their number. A null
    // "transactionId" is absent and other keys are ignored. Encoding gives none when a text is
    // not valid UTF-8.
    static std::optional<std::vector<PendingIAPOrder>> decodeList(const std::string& json,
                                                                  std::size_t* skipped = nullptr);
    static std::optional<std::string> encodeList(const std::vector<PendingIAPOrder>& orders);
};

}  // namespace pex
