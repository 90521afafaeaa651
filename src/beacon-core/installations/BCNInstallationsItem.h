#pragma once
// One installation of the SDK for one application object: its installation identifier (FID),
// registration state, the tokens the installations service issued, and a token taken over
// from the older instance-ID SDK. Also how FIDs are made, how an item is validated, and how
// the service's replies become items and tokens.
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "beacon-core/installations/BCNInstallationsStoredItem.h"
#include "platform/foundation/Error.h"

namespace pex {

class BCNInstallationsItem {
  public:
    BCNInstallationsItem(std::string appID, std::string beaconAppName);

    const std::string& appID() const { return appID_; }
    const std::string& beaconAppName() const { return beaconAppName_; }

    std::optional<std::string> beaconInstallationID;
    std::optional<std::string> refreshToken;
    BCNInstallationsStoredAuthToken authToken;
    BCNInstallationsRegistrationStatus registrationStatus =
        BCNInstallationsRegistrationStatus::Unknown;
    std::optional<std::string> IIDDefaultToken;

    // The storage key: the app ID followed directly by the app name.
    std::string identifier() const { return identifierWithAppID(appID_, beaconAppName_); }
    static std::string identifierWithAppID(const std::string& appID, const std::string& appName);

    BCNInstallationsStoredItem storedItem() const;
    void updateWithStoredItem(const BCNInstallationsStoredItem& item);

    // True when the item may be used; otherwise false and, when asked, a code-0 error listing
    // every problem found.
    bool isValid(ErrorRef* error = nullptr) const;

    // A new FID: 22 characters of URL-safe Base64 starting with "c", "d", "e" or "f".
    static std::string generateFID();
    // Standard Base64 with "/" as "_" and "+" as "-"; the "=" padding stays.
    static std::string base64URLEncodedStringWithData(std::string_view bytes);

    // ---- Replies of the installations service (`date`: when the reply arrived) ----
    // The registered item a registration reply describes.
    std::optional<BCNInstallationsItem> registeredInstallationWithJSONData(std::string_view data,
                                                                           BCNDate date,
                                                                           ErrorRef* error) const;
    static std::optional<BCNInstallationsStoredAuthToken> authTokenWithGenerateTokenAPIJSONData(
        std::string_view data, BCNDate date, ErrorRef* error);
    // "expiresIn" must be a number of seconds (digits, an optional fraction) followed by "s".
    static std::optional<BCNInstallationsStoredAuthToken> authTokenWithJSONDict(
        const nlohmann::json& dict, BCNDate date, ErrorRef* error);
    // The reply as a JSON object; none with "Failed to serialize JSON data." otherwise.
    static std::optional<nlohmann::json> dictionaryFromJSONData(std::string_view data,
                                                                ErrorRef* error);
    // The value under `key` when it is a non-empty text.
    static std::optional<std::string> validStringOrNilForKey(const std::string& key,
                                                             const nlohmann::json& dict);

    bool operator==(const BCNInstallationsItem& other) const;

  private:
    std::string appID_;
    std::string beaconAppName_;
};

}  // namespace pex
