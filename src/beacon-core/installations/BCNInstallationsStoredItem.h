#pragma once
// The archived form of one installation record. Written with storage version 1; a newer
// version is read with a warning, keeping the known fields. Missing keys read as absent or 0.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon-core/installations/BCNInstallationsStoredAuthToken.h"

namespace pex {

enum class BCNInstallationsRegistrationStatus : std::int64_t {
    Unknown = 0,
    Unregistered = 1,
    Registered = 2,
};

struct BCNInstallationsStoredItem {
    static constexpr const char* kArchiveClassName = "BCNInstallationsStoredItem";
    static constexpr std::int64_t kStorageVersion = 1;

    std::optional<std::string> beaconInstallationID;
    std::optional<std::string> refreshToken;
    BCNInstallationsStoredAuthToken authToken;
    BCNInstallationsRegistrationStatus registrationStatus =
        BCNInstallationsRegistrationStatus::Unknown;
    std::optional<std::string> IIDDefaultToken;

    PropertyList::Dictionary encodeWithCoder() const;
    static std::optional<BCNInstallationsStoredItem> decodeWithCoder(
        const PropertyList::Dictionary& values);
};

}  // namespace pex
