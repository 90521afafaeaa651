#pragma once
// One stored secure item: what identifies it, who may read it, and its secret bytes. Items are
// written to disk and to the keyring as binary property lists of this form.
#include <optional>
#include <string>
#include <string_view>

#include "platform/security/SecureItemQuery.h"

namespace pex {

struct SecureItem {
    SecureItemAttributes attributes;
    std::string accessible;
    std::string data;

    std::string serialize() const;
    // None for bytes that are not an item.
    static std::optional<SecureItem> parse(std::string_view bytes);
    // A stable name for the item's identity (hex SHA-256), fit for a file name.
    static std::string identityDigest(const SecureItemAttributes& attributes);

    bool operator==(const SecureItem&) const = default;
};

}  // namespace pex
