#pragma once
// The outcome of fetching the application's receipt: its bytes, or one of the failure kinds
// the callers tell apart.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pex {

using ReceiptData = std::vector<std::uint8_t>;

struct ReceiptError {
    enum class Kind {
        requestFailed,  // the refresh request could not be built or failed; see `description`
        undecodable,    // what came back could not be decoded
        invalid,        // the receipt is not valid
        noReceiptData,  // the store has no receipt for this application
        noRemoteData,   // the request gave nothing back
    };
    Kind kind = Kind::requestFailed;
    std::string description;  // the underlying error's text, for `requestFailed`

    bool operator==(const ReceiptError&) const = default;
};

struct ReceiptResult {
    std::optional<ReceiptData> receipt;
    std::optional<ReceiptError> error;  // set exactly when `receipt` is absent

    static ReceiptResult success(ReceiptData data) { return {std::move(data), std::nullopt}; }
    static ReceiptResult failure(ReceiptError::Kind kind, std::string description = {}) {
        return {std::nullopt, ReceiptError{kind, std::move(description)}};
    }
};

}  // namespace pex
