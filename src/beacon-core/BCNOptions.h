#pragma once
// The identifiers of the application's project in the telemetry back end (app ID, API key,
// project ID ...), read from "BeaconService-Info.plist" among the application's resources or
// set by hand. The application object keeps a locked copy: once locked, every setter raises.
// Copies keep the lock, the app group and where the options came from.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/PropertyList.h"

namespace pex {

class BCNOptions {
  public:
    static constexpr const char* kBeaconAppID = "BEACON_APP_ID";
    static constexpr const char* kAPIKey = "API_KEY";
    static constexpr const char* kProjectID = "PROJECT_ID";
    static constexpr const char* kPushSenderID = "PUSH_SENDER_ID";
    static constexpr const char* kBundleID = "BUNDLE_ID";
    static constexpr const char* kClientID = "CLIENT_ID";
    static constexpr const char* kDatabaseURL = "DATABASE_URL";
    static constexpr const char* kStorageBucket = "STORAGE_BUCKET";
    static constexpr const char* kIsMeasurementEnabled = "IS_MEASUREMENT_ENABLED";
    static constexpr const char* kAnalyticsCollectionEnabled =
        "BEACON_ANALYTICS_COLLECTION_ENABLED";
    static constexpr const char* kAnalyticsCollectionDeactivated =
        "BEACON_ANALYTICS_COLLECTION_DEACTIVATED";
    static constexpr const char* kServiceInfoFileName = "BeaconService-Info";
    static constexpr const char* kServiceInfoFileType = "plist";

    // The options of "BeaconService-Info.plist", read once; none without a usable file.
    static std::optional<BCNOptions> defaultOptions();
    static std::optional<PropertyList::Dictionary> defaultOptionsDictionary();
    static std::optional<std::filesystem::path> plistFilePathWithName(const std::string& name);
    // Forgets both defaults, so the next call reads the file again.
    static void resetDefaultOptions();

    // Options from any property-list file; none (and an error line) when it cannot be read.
    static std::optional<BCNOptions> fromContentsOfFile(
        const std::optional<std::filesystem::path>& path);
    // The app and sender IDs with the main bundle's identifier.
    BCNOptions(const std::string& beaconAppID, const std::string& pushSenderID);
    explicit BCNOptions(PropertyList::Dictionary optionsDictionary);  // from the default list
    BCNOptions() = delete;  // options always name at least their source

    std::optional<std::string> beaconAppID() const { return text(kBeaconAppID); }
    std::optional<std::string> APIKey() const { return text(kAPIKey); }
    std::optional<std::string> projectID() const { return text(kProjectID); }
    std::optional<std::string> PushSenderID() const { return text(kPushSenderID); }
    std::optional<std::string> bundleID() const { return text(kBundleID); }
    std::optional<std::string> clientID() const { return text(kClientID); }
    std::optional<std::string> databaseURL() const { return text(kDatabaseURL); }
    std::optional<std::string> storageBucket() const { return text(kStorageBucket); }
    const std::optional<std::string>& appGroupID() const { return appGroupID_; }

    // Each raises "com.beacon.core" once the options are locked; none removes the key.
    void setBeaconAppID(std::optional<std::string> value) {
        setText(kBeaconAppID, std::move(value));
    }
    void setAPIKey(std::optional<std::string> value) { setText(kAPIKey, std::move(value)); }
    void setProjectID(std::optional<std::string> value) { setText(kProjectID, std::move(value)); }
    void setPushSenderID(std::optional<std::string> value) {
        setText(kPushSenderID, std::move(value));
    }
    void setBundleID(std::optional<std::string> value) { setText(kBundleID, std::move(value)); }
    void setClientID(std::optional<std::string> value) { setText(kClientID, std::move(value)); }
    void setDatabaseURL(std::optional<std::string> value) {
        setText(kDatabaseURL, std::move(value));
    }
    void setStorageBucket(std::optional<std::string> value) {
        setText(kStorageBucket, std::move(value));
    }
    void setAppGroupID(std::optional<std::string> value);

    const PropertyList::Dictionary& optionsDictionary() const { return optionsDictionary_; }
    bool usingOptionsFromDefaultPlist() const { return usingOptionsFromDefaultPlist_; }
    void setUsingOptionsFromDefaultPlist(bool value) { usingOptionsFromDefaultPlist_ = value; }
    bool isEditingLocked() const { return editingLocked_; }
    void setEditingLocked(bool locked) { editingLocked_ = locked; }

    // The core version as nine digits: "12.7.0" → "120700000".
    static std::string libraryVersionID();

    // The three analytics keys, from the application's Info.plist first, then the options.
    const PropertyList::Dictionary& analyticsOptionsDictionary() const;
    bool isMeasurementEnabled() const;
    bool isAnalyticsCollectionEnabled() const;
    bool isAnalyticsCollectionExplicitlySet() const;
    bool isAnalyticsCollectionDeactivated() const;

    // Where `isMeasurementEnabled` asks the configured default app for its data-collection
    // switch; none when no default app is configured.
    static void setDefaultAppDataCollectionQuery(std::function<std::optional<bool>()> query);

    bool operator==(const BCNOptions& other) const;
    std::size_t hash() const;

  private:
    std::optional<std::string> text(const char* key) const;
    void setText(const char* key, std::optional<std::string> value);
    void checkEditingLocked() const;

    PropertyList::Dictionary optionsDictionary_;
    std::optional<std::string> appGroupID_;
    bool usingOptionsFromDefaultPlist_ = true;
    bool editingLocked_ = false;
    mutable std::optional<PropertyList::Dictionary> analyticsOptionsDictionary_;
};

}  // namespace pex
