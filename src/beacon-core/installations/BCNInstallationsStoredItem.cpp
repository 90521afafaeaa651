#include "beacon-core/installations/BCNInstallationsStoredItem.h"

#include "beacon-core/installations/BCNInstallationsArchiveReading.h"
#include "beacon-core/installations/BCNInstallationsLogging.h"

namespace pex {

PropertyList::Dictionary BCNInstallationsStoredItem::encodeWithCoder() const {
    PropertyList::Dictionary values{
        {"authToken", PropertyList(authToken.encodeWithCoder())},
        {"registrationStatus", PropertyList(static_cast<std::int64_t>(registrationStatus))},
        {"storageVersion", PropertyList(kStorageVersion)}};
    if (beaconInstallationID) values["beaconInstallationID"] = PropertyList(*beaconInstallationID);
    if (refreshToken) values["refreshToken"] = PropertyList(*refreshToken);
    if (IIDDefaultToken) values["IIDDefaultToken"] = PropertyList(*IIDDefaultToken);
    return values;
}

std::optional<BCNInstallationsStoredItem> BCNInstallationsStoredItem::decodeWithCoder(
    const PropertyList::Dictionary& values) {
    const std::int64_t version = BCNArchiveReading::integer(values, "storageVersion");
    if (version > kStorageVersion)
        BCNLogWarning(kBCNInstallationsLogService,
                      BCNInstallationsMessageCode::kStoredItemNewerVersion,
                      "BCNInstallationsStoredItem was encoded by a newer coder version %ld. "
                      "Current coder version is %ld. Some installation data may be lost.",
                      version, kStorageVersion);
    BCNInstallationsStoredItem item;
    item.beaconInstallationID = BCNArchiveReading::text(values, "beaconInstallationID");
    item.refreshToken = BCNArchiveReading::text(values, "refreshToken");
    if (const auto* token = BCNArchiveReading::dictionary(values, "authToken"))
        if (auto decoded = BCNInstallationsStoredAuthToken::decodeWithCoder(*token))
            item.authToken = *decoded;
    item.registrationStatus = static_cast<BCNInstallationsRegistrationStatus>(
        BCNArchiveReading::integer(values, "registrationStatus"));
    item.IIDDefaultToken = BCNArchiveReading::text(values, "IIDDefaultToken");
    return item;
}

}  // namespace pex
