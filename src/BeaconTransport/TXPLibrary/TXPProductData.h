#pragma once
// Product data an event may carry: one product id, written into the upload message.
#include <cstdint>
#include <optional>

#include "platform/foundation/PropertyList.h"

namespace pex {

class TXPProductData {
  public:
    static constexpr const char* kArchiveClassName = "TXPProductData";
    static constexpr const char* kProductIDKey = "TXPProductDataProductIDKey";

    explicit TXPProductData(std::int32_t productID) : productID_(productID) {}

    std::int32_t productID() const { return productID_; }
    std::size_t hash() const { return static_cast<std::size_t>(productID_); }
    bool operator==(const TXPProductData&) const = default;

    PropertyList::Dictionary encodeWithCoder() const {
        return {{kProductIDKey, PropertyList(std::int64_t{productID_})}};
    }
    static std::optional<TXPProductData> decodeWithCoder(const PropertyList::Dictionary& values) {
        auto found = values.find(kProductIDKey);
        if (found == values.end() || !found->second.is<std::int64_t>()) return std::nullopt;
        return TXPProductData(static_cast<std::int32_t>(*found->second.get<std::int64_t>()));
    }

  private:
    std::int32_t productID_;
};

}  // namespace pex
