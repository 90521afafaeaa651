#pragma once
// The telemetry client's application object: one configured app per name (the default one is
// "__BCNAPP_DEFAULT"), each with its locked options, its component container and its heartbeat
// logger. The class keeps the registry of apps, the SDK user agent and the entry points
// through which SDK libraries register themselves at load time (see BCNLibraryRegistrar).
// Configuration errors raise an Exception named "com.beacon.core"; the application's start-up
// catches them and starts without telemetry.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "beacon-core/BCNBeaconUserAgent.h"
#include "beacon-core/BCNBeaconVersion.h"
#include "beacon-core/BCNComponent.h"
#include "beacon-core/BCNOptions.h"
#include "platform/foundation/NotificationCenter.h"

namespace pex {

class BCNComponentContainer;
class BCNHeartbeatLogger;

class BCNApp : public std::enable_shared_from_this<BCNApp> {
  public:
    static constexpr const char* kDefaultAppName = "__BCNAPP_DEFAULT";
    static constexpr const char* kReadyToConfigureSDKNotification =
        "BCNAppReadyToConfigureSDKNotification";
    static constexpr const char* kDeleteNotification = "BCNAppDeleteNotification";
    static constexpr const char* kAppNameKey = "BCNAppNameKey";
    static constexpr const char* kAppIsDefaultAppKey = "BCNAppIsDefaultAppKey";
    static constexpr const char* kBeaconAppIDKey = "BCNBeaconAppIDKey";
    static constexpr const char* kDataCollectionDefaultsKeyPrefix =
        "/beacon/global_data_collection_enabled:";
    static constexpr const char* kDataCollectionPlistKey = "BeaconDataCollectionDefaultEnabled";
    static constexpr const char* kConsoleAddress = "https://beacon.pexmora.com/console";

    // The default app from "BeaconService-Info.plist"; raises when there is no usable file.
    static void configure();
    static void configureWithOptions(const std::optional<BCNOptions>& options);
    static void configureWithName(const std::optional<std::string>& name,
                                  const std::optional<BCNOptions>& options);

    static std::shared_ptr<BCNApp> defaultApp();
    static std::shared_ptr<BCNApp> appNamed(const std::string& name);
    static std::optional<std::map<std::string, std::shared_ptr<BCNApp>>> allApps();
    static bool isDefaultAppConfigured();
    // Forgets every app and the registered libraries' user-agent entries.
    static void resetApps();

    // Called by SDK libraries at load time. A library without `componentsToRegister` raises.
    static void registerInternalLibrary(const BCNLibraryClass& library, const std::string& name,
                                        const std::string& version = BCNBeaconVersion());
    // Adds "<name>/<version>" to the user agent; names and versions hold only letters, digits,
    // "-", "_" and ".".
    static void registerLibrary(const std::string& name, const std::string& version);
    // Makes a library findable by class name for `registerSwiftComponents`.
    static void registerClass(const BCNLibraryClass& library);
    // Whether a library of this class name was made findable with `registerClass`.
    static bool isClassRegistered(const std::string& className);
    // Registers the libraries looked up by class name, once per process.
    static void registerSwiftComponents();

    // The SDK's one user agent, made with the core library's entry "bcn-ios", and its text.
    static BCNBeaconUserAgent& userAgent();
    static std::string beaconUserAgent();

    static bool validateAppID(const std::string& appID);
    static std::string actualBundleID();
    static std::optional<bool> readDataCollectionSwitchFromUserDefaultsForApp(const BCNApp& app);
    static std::optional<bool> readDataCollectionSwitchFromPlist();
    // The sender of the class's notifications.
    static const void* classObject();

    BCNApp(std::string name, const BCNOptions& options);  // use configure
    ~BCNApp();
    BCNApp(const BCNApp&) = delete;
    BCNApp& operator=(const BCNApp&) = delete;

    const std::string& name() const { return name_; }
    bool isDefaultApp() const { return isDefaultApp_; }
    // A copy of the app's options, locked against editing.
    BCNOptions options() const { return options_; }
    std::shared_ptr<BCNComponentContainer> container() const;
    void setContainer(std::shared_ptr<BCNComponentContainer> container);
    std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger() const;

    // The settings value for this app, else the Info.plist's, else on.
    bool isDataCollectionDefaultEnabled() const;
    void setDataCollectionDefaultEnabled(bool enabled);
    void deleteApp(const std::function<void(bool)>& completion);

  private:
    void initInstance();
    bool configureCore();
    // Undoes what configuring set up in the app itself: its observer and its components.
    void dropConfiguration();
    void checkExpectedBundleID() const;
    bool isAppIDValid() const;
    void appDidBecomeActive();
    void clearDataCollectionSwitchFromUserDefaults();
    std::string dataCollectionKey() const;

    const std::string name_;
    const bool isDefaultApp_;
    const BCNOptions options_;
    mutable std::mutex propertyLock_;
    std::shared_ptr<BCNComponentContainer> container_;
    std::shared_ptr<BCNHeartbeatLogger> heartbeatLogger_;
    ScopedObserver becomeActiveObserver_;
};

// Registers a library when its translation unit is loaded; keep the object file linked whole.
class BCNLibraryRegistrar {
  public:
    BCNLibraryRegistrar(const BCNLibraryClass& library, const std::string& name,
                        const std::string& version = BCNBeaconVersion()) {
        BCNApp::registerInternalLibrary(library, name, version);
    }
};

// Makes a library findable by its class name when its translation unit is loaded.
class BCNClassRegistrar {
  public:
    explicit BCNClassRegistrar(const BCNLibraryClass& library) { BCNApp::registerClass(library); }
};

}  // namespace pex
