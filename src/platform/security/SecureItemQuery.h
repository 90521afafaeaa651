#pragma once
// What identifies and selects secure items: their class and attributes, plus the options of a
// query. An attribute left absent in a query matches every item.
#include <cstdint>
#include <optional>
#include <string>

namespace pex {

class SecureItemStore;

// The platform's result codes of secure item calls.
using SecStatus = std::int32_t;
inline constexpr SecStatus kSecStatusSuccess = 0;
inline constexpr SecStatus kSecStatusIO = -36;
inline constexpr SecStatus kSecStatusParam = -50;
inline constexpr SecStatus kSecStatusNotAvailable = -25291;
inline constexpr SecStatus kSecStatusDuplicateItem = -25299;
inline constexpr SecStatus kSecStatusItemNotFound = -25300;

enum class SecItemClass { GenericPassword, Key };

// Who may read an item; stored with it, never used to select.
inline constexpr const char* kSecAccessibleAfterFirstUnlockThisDeviceOnly =
    "AfterFirstUnlockThisDeviceOnly";
inline constexpr const char* kSecKeyTypeRSA = "RSA";

struct SecureItemAttributes {
    std::optional<SecItemClass> itemClass;
    std::optional<std::string> service;
    std::optional<std::string> account;
    std::optional<std::string> accessGroup;
    std::optional<std::string> generic;         // bytes
    std::optional<std::string> applicationTag;  // bytes
    std::optional<std::string> keyType;

    // True when every attribute set here equals the item's.
    bool matches(const SecureItemAttributes& item) const;
    // True when both name the same item: two such items cannot be stored side by side.
    bool sameIdentity(const SecureItemAttributes& other) const;

    bool operator==(const SecureItemAttributes&) const = default;
};

struct SecureItemQuery {
    SecureItemAttributes attributes;
    // Asks for the modern, per-user store; every store here is one, so it selects nothing.
    bool useDataProtectionKeychain = false;
    // Limits the query to this store (owned by the caller and outliving the query); none
    // means the process's current store.
    SecureItemStore* keychain = nullptr;

    SecureItemQuery& setClass(SecItemClass c) {
        attributes.itemClass = c;
        return *this;
    }
};

}  // namespace pex
