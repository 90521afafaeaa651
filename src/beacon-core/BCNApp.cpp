#include "beacon-core/BCNApp.h"

#include <cctype>
#include <mutex>
#include <vector>

#include "beacon-core/BCNAnalyticsConfiguration.h"
#include "beacon-core/BCNBundleUtil.h"
#include "beacon-core/BCNComponentContainer.h"
#include "beacon-core/BCNHeartbeatLogger.h"
#include "beacon-core/BCNLogger.h"
#include "platform/foundation/ApplicationNotifications.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/UserDefaults.h"

namespace pex {

namespace {

constexpr const char* kCoreException = "com.beacon.core";
constexpr const char* kSetupDocumentation = "https://beacon.pexmora.com/docs/setup";

struct AppRegistry {
    std::recursive_mutex lock;
    std::shared_ptr<BCNApp> defaultApp;
    std::optional<std::map<std::string, std::shared_ptr<BCNApp>>> apps;
    std::once_flag swiftComponentsOnce;
    std::once_flag optionsQueryOnce;
    std::mutex classesMutex;
    std::map<std::string, BCNLibraryClass> classesByName;
};

AppRegistry& registry() {
    static auto* state = new AppRegistry;  // apps live for the process
    return *state;
}

[[noreturn]] void raise(const std::string& reason) {
    throw Exception(kCoreException, reason);
}

bool onlyCharacters(const std::string& text, const std::string& extra) {
    for (unsigned char c : text)
        if (!std::isalnum(c) && extra.find(static_cast<char>(c)) == std::string::npos) return false;
    return true;
}

std::optional<bool> numberAsBool(const std::optional<nlohmann::json>& value) {
    if (!value || !(value->is_boolean() || value->is_number())) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>();
    return value->get<double>() != 0;
}

[[noreturn]] void appWasConfiguredTwice(const std::string& name) {
    if (name == BCNApp::kDefaultAppName) raise("Default app has already been configured.");
    raise("App named " + name + " has already been configured.");
}

// Digits, then ":"; the position after the colon, or none.
std::optional<std::size_t> scanVersion(const std::string& appID, std::string& version) {
    std::size_t i = 0;
    while (i < appID.size() && std::isdigit(static_cast<unsigned char>(appID[i]))) ++i;
    if (i == 0 || i >= appID.size() || appID[i] != ':') return std::nullopt;
    version = appID.substr(0, i);
    return i + 1;
}

bool isHexRun(const std::string& text, std::size_t from, std::size_t& end) {
    std::size_t i = from;
    if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) i += 2;
    const std::size_t digits = i;
    while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
    end = i;
    return i > digits;
}

// "<version>:<integer>:ios:<hex>" and nothing after.
bool validateAppIDFormat(const std::string& appID, const std::string& version) {
    const std::string prefix = version + ":";
    if (appID.compare(0, prefix.size(), prefix) != 0) return false;
    std::size_t i = prefix.size();
    if (i < appID.size() && (appID[i] == '+' || appID[i] == '-')) ++i;
    const std::size_t digits = i;
    while (i < appID.size() && std::isdigit(static_cast<unsigned char>(appID[i]))) ++i;
    if (i == digits || appID.compare(i, 5, ":ios:") != 0) return false;
    std::size_t end = 0;
    return isHexRun(appID, i + 5, end) && end == appID.size();
}

bool validateBundleIDHashWithinAppID(const std::string& appID, const std::string& version) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto colon = appID.find(':', start);
        parts.push_back(appID.substr(start, colon - start));
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    std::size_t end = 0;
    return parts.size() == 4 && !parts[3].empty() && isHexRun(parts[3], 0, end) && version == "1";
}

void sendNotificationsToSDKs(const BCNApp& app) {
    NotificationCenter::defaultCenter().post(
        BCNApp::kReadyToConfigureSDKNotification, BCNApp::classObject(),
        {{BCNApp::kAppNameKey, app.name()},
         {BCNApp::kAppIsDefaultAppKey, app.isDefaultApp()},
         {BCNApp::kBeaconAppIDKey, app.options().beaconAppID().value_or("")}});
}

}  // namespace

const void* BCNApp::classObject() {
    static const char tag = 0;
    return &tag;
}

// ---- configuration

void BCNApp::configure() {
    const auto options = BCNOptions::defaultOptions();
    if (!options) {
        raise(std::string("`BeaconApp.configure()` could not find a valid BeaconService-Info.plist "
                          "in your project. Please download one from ") +
              kConsoleAddress + ".");
    }
    configureWithOptions(options);
}

void BCNApp::configureWithOptions(const std::optional<BCNOptions>& options) {
    if (!options) raise("Options is nil. Please pass a valid options.");
    configureWithName(std::string(kDefaultAppName), options);
}

void BCNApp::configureWithName(const std::optional<std::string>& name,
                               const std::optional<BCNOptions>& options) {
    if (!name || !options) raise("Neither name nor options can be nil.");
    if (name->empty()) raise("Name cannot be empty.");
    AppRegistry& state = registry();
    std::call_once(state.optionsQueryOnce, [] {
        BCNOptions::setDefaultAppDataCollectionQuery([]() -> std::optional<bool> {
            const auto app = registry().defaultApp;
            if (!app) return std::nullopt;
            return app->isDataCollectionDefaultEnabled();
        });
    });
    // Every check and the recording of the app happen under one lock, so two threads
    // configuring at once cannot both pass the "already configured" check.
    std::lock_guard lock(state.lock);
    if (*name == kDefaultAppName) {
        if (state.defaultApp) appWasConfiguredTwice(*name);
        BCNLogDebug(kBCNLoggerCore, "I-COR000001", "Configuring the default app.");
    } else {
        if (!onlyCharacters(*name, "-_"))
            raise(
                "App name can only contain alphanumeric, hyphen (-), and underscore (_) "
                "characters");
        if (state.apps && state.apps->contains(*name)) appWasConfiguredTwice(*name);
        BCNLogDebug(kBCNLoggerCore, "I-COR000002", "Configuring app named %@", *name);
    }
    registerSwiftComponents();

    auto app = std::make_shared<BCNApp>(*name, *options);
    app->initInstance();
    if (app->isDefaultApp()) state.defaultApp = app;
    if (!state.apps) state.apps.emplace();
    if (!app->configureCore()) {
        // Nothing of a failed configuration stays behind: a later configure starts afresh.
        if (app->isDefaultApp()) state.defaultApp.reset();
        raise(
            "Configuration fails. It may be caused by an invalid BEACON_APP_ID in "
            "BeaconService-Info.plist or set in the customized options.");
    }
    (*state.apps)[*name] = app;
    try {
        app->container()->instantiateEagerComponents();
    } catch (...) {
        // A component that refuses the options leaves no half-configured app behind: it would
        // stay the default without ever announcing itself, and every later configure would be
        // refused as a second one.
        state.apps->erase(*name);
        if (state.defaultApp == app) state.defaultApp.reset();
        app->dropConfiguration();
        throw;
    }
    sendNotificationsToSDKs(*app);
}

BCNApp::BCNApp(std::string name, const BCNOptions& options)
    : name_(std::move(name)), isDefaultApp_(name_ == kDefaultAppName), options_([&] {
          BCNOptions locked = options;
          locked.setEditingLocked(true);
          return locked;
      }()) {}

BCNApp::~BCNApp() = default;

void BCNApp::initInstance() {
    auto registrants = BCNComponentContainer::registrants();
    // The overlay app of the push sender never gets the app-check component.
    if (name_ == "OverlayBCNApp" && options_.PushSenderID() == "480963775968")
        std::erase_if(registrants, [](const BCNLibraryClass& library) {
            return library.className == "BCNAppCheckComponent";
        });
    auto container =
        std::make_shared<BCNComponentContainer>(weak_from_this(), isDefaultApp_, registrants);
    auto logger = std::make_shared<BCNHeartbeatLogger>(options_.beaconAppID().value_or(""));
    std::lock_guard lock(propertyLock_);
    container_ = std::move(container);
    heartbeatLogger_ = std::move(logger);
}

bool BCNApp::configureCore() {
    checkExpectedBundleID();
    if (!isAppIDValid()) return false;
    // An analytics library would be started here, for the default app, with
    // BCNConfiguration::shared().analyticsConfiguration() and the options; none exists in this
    // system, so there is nothing to start.
    std::weak_ptr<BCNApp> weak = weak_from_this();
    auto& centre = NotificationCenter::defaultCenter();
    becomeActiveObserver_ =
        ScopedObserver(centre, centre.addObserver(kApplicationDidBecomeActiveNotification, nullptr,
                                                  [weak](const Notification&) {
                                                      if (auto app = weak.lock())
                                                          app->appDidBecomeActive();
                                                  }));
    return true;
}

void BCNApp::dropConfiguration() {
    becomeActiveObserver_.reset();
    if (auto c = container()) {
        c->removeAllComponents();
        c->removeAllCachedInstances();
    }
}

void BCNApp::checkExpectedBundleID() const {
    const auto expected = options_.bundleID();
    if (!expected ||
        BCNBundleUtil::hasBundleIdentifierPrefix(*expected, BCNBundleUtil::relevantBundles()))
        return;
    BCNLogError(kBCNLoggerCore, "I-COR000008",
                "The project's Bundle ID is inconsistent with either the Bundle ID in '%@.%@', or "
                "the Bundle ID in the options if you are using a customized options. To ensure "
                "that everything can be configured correctly, you may need to make the Bundle IDs "
                "consistent. To continue with this plist file, you may change your app's bundle "
                "identifier to '%@'. Or you can download a new configuration file that matches "
                "your bundle identifier from %@ and replace the current one.",
                BCNOptions::kServiceInfoFileName, BCNOptions::kServiceInfoFileType, *expected,
                kConsoleAddress);
}

bool BCNApp::isAppIDValid() const {
    if (validateAppID(options_.beaconAppID().value_or(""))) return true;
    BCNLogError(kBCNLoggerCore, "I-COR000009",
                "The BEACON_APP_ID either in the plist file '%@.%@' or the one set in the "
                "customized options is invalid. If you are using the plist file, use the iOS "
                "version of bundle identifier to download the file, and do not manually edit the "
                "BEACON_APP_ID. You may change your app's bundle identifier to '%@'. Or you can "
                "download a new configuration file that matches your bundle identifier from %@ "
                "and replace the current one.",
                BCNOptions::kServiceInfoFileName, BCNOptions::kServiceInfoFileType,
                actualBundleID(), kConsoleAddress);
    return false;
}

bool BCNApp::validateAppID(const std::string& appID) {
    if (appID.empty()) return false;
    std::string version;
    if (!scanVersion(appID, version)) return false;
    if (version != "1") {
        BCNLogInfo(kBCNLoggerCore, "I-COR000010", "Unknown BEACON_APP_ID version: %@", version);
        return true;
    }
    return validateAppIDFormat(appID, version) && validateBundleIDHashWithinAppID(appID, version);
}

std::string BCNApp::actualBundleID() {
    return Bundle::main().bundleIdentifier();
}

// ---- registry

std::shared_ptr<BCNApp> BCNApp::defaultApp() {
    AppRegistry& state = registry();
    std::lock_guard lock(state.lock);
    if (!state.defaultApp) {
        BCNLogError(kBCNLoggerCore, "I-COR000003",
                    "The default Beacon app has not yet been configured. Add "
                    "`BeaconApp.configure()` to your application initialization. This can be "
                    "done in in the App Delegate's application(_:didFinishLaunchingWithOptions:)` "
                    "(or the `@main` struct's initializer in SwiftUI). Read more: %@",
                    kSetupDocumentation);
    }
    return state.defaultApp;
}

std::shared_ptr<BCNApp> BCNApp::appNamed(const std::string& name) {
    AppRegistry& state = registry();
    std::lock_guard lock(state.lock);
    if (state.apps) {
        if (const auto found = state.apps->find(name); found != state.apps->end())
            return found->second;
    }
    BCNLogError(kBCNLoggerCore, "I-COR000004", "App with name %@ does not exist.", name);
    return nullptr;
}

std::optional<std::map<std::string, std::shared_ptr<BCNApp>>> BCNApp::allApps() {
    AppRegistry& state = registry();
    std::lock_guard lock(state.lock);
    if (!state.apps) BCNLogError(kBCNLoggerCore, "I-COR000005", "No app has been configured yet.");
    return state.apps;
}

bool BCNApp::isDefaultAppConfigured() {
    AppRegistry& state = registry();
    std::lock_guard lock(state.lock);
    return state.defaultApp != nullptr;
}

void BCNApp::resetApps() {
    AppRegistry& state = registry();
    std::lock_guard lock(state.lock);
    state.defaultApp.reset();
    state.apps.reset();
    userAgent().reset();
}

void BCNApp::deleteApp(const std::function<void(bool)>& completion) {
    AppRegistry& state = registry();
    std::lock_guard lock(state.lock);
    if (!state.apps || !state.apps->contains(name_)) {
        BCNLogError(kBCNLoggerCore, "I-COR000007", "App does not exist.");
        if (completion) completion(false);
        return;
    }
    BCNLogDebug(kBCNLoggerCore, "I-COR000006", "Deleting app named %@", name_);
    const auto self = shared_from_this();  // keeps this app alive until the end
    if (auto c = container()) {
        c->removeAllComponents();
        c->removeAllCachedInstances();
    }
    state.apps->erase(name_);
    clearDataCollectionSwitchFromUserDefaults();
    if (name_ == kDefaultAppName) state.defaultApp.reset();
    NotificationCenter::defaultCenter().post(kDeleteNotification, classObject(),
                                             {{kAppNameKey, name_}});
    if (completion) completion(true);
}

// ---- libraries

void BCNApp::registerInternalLibrary(const BCNLibraryClass& library, const std::string& name,
                                     const std::string& version) {
    if (!library.componentsToRegister) {
        throw Exception(Exception::kInvalidArgument,
                        "Class " + library.className +
                            " attempted to register components, but it does not conform to "
                            "`BCNLibrary or provide a `componentsToRegister:` method.");
    }
    BCNComponentContainer::registerAsComponentRegistrant(library);
    registerLibrary(name, version);
}

void BCNApp::registerLibrary(const std::string& name, const std::string& version) {
    if (!onlyCharacters(name, "-_.") || !onlyCharacters(version, "-_.")) {
        BCNLogError(kBCNLoggerCore, "I-COR000027",
                    "The library name (%@) or version number (%@) contain invalid characters. "
                    "Only alphanumeric, dash, underscore and period characters are allowed.",
                    name, version);
        return;
    }
    userAgent().setValue(version, name);
}

void BCNApp::registerClass(const BCNLibraryClass& library) {
    AppRegistry& state = registry();
    std::lock_guard lock(state.classesMutex);
    state.classesByName[library.className] = library;
}

bool BCNApp::isClassRegistered(const std::string& className) {
    AppRegistry& state = registry();
    std::lock_guard lock(state.classesMutex);
    return state.classesByName.contains(className);
}

void BCNApp::registerSwiftComponents() {
    AppRegistry& state = registry();
    std::call_once(state.swiftComponentsOnce, [&state] {
        std::map<std::string, BCNLibraryClass> classes;
        {
            std::lock_guard lock(state.classesMutex);
            classes = state.classesByName;
        }
        const std::pair<const char*, const char*> componentLibraries[] = {
            {"BCNSessions", "bcn-ses"}, {"BCNAuthComponent", "bcn-auth"}};
        for (const auto& [className, libraryName] : componentLibraries) {
            const auto found = classes.find(className);
            if (found != classes.end() && found->second.componentsToRegister)
                registerInternalLibrary(found->second, libraryName);
        }
        const std::pair<const char*, const char*> namedLibraries[] = {
            {"BCNCombineAuthLibrary", "comb-auth"},
            {"BCNCombineDocstoreLibrary", "comb-docstore"},
            {"BCNCombineFunctionsLibrary", "comb-functions"},
            {"BCNCombineStorageLibrary", "comb-storage"},
            {"BCNFunctions", "bcn-fun"},
            {"BCNStorage", "bcn-str"},
            {"BCNGenAIComponent", "bcn-genai"},
            {"BCNDataConnectComponent", "bcn-dc"}};
        for (const auto& [className, libraryName] : namedLibraries) {
            const auto found = classes.find(className);
            if (found == classes.end()) continue;
            std::optional<std::string> version;
            if (found->second.sdkVersion) version = found->second.sdkVersion();
            registerLibrary(libraryName, version.value_or(BCNBeaconVersion()));
        }
    });
}

BCNBeaconUserAgent& BCNApp::userAgent() {
    static auto* agent = [] {
        auto* made = new BCNBeaconUserAgent;  // read by SDK work until the process ends
        made->setValue(BCNBeaconVersion(), "bcn-ios");
        return made;
    }();
    return *agent;
}

std::string BCNApp::beaconUserAgent() {
    return userAgent().beaconUserAgent();
}

// ---- instance state

std::shared_ptr<BCNComponentContainer> BCNApp::container() const {
    std::lock_guard lock(propertyLock_);
    return container_;
}

void BCNApp::setContainer(std::shared_ptr<BCNComponentContainer> container) {
    std::lock_guard lock(propertyLock_);
    container_ = std::move(container);
}

std::shared_ptr<BCNHeartbeatLogger> BCNApp::heartbeatLogger() const {
    std::lock_guard lock(propertyLock_);
    return heartbeatLogger_;
}

std::string BCNApp::dataCollectionKey() const {
    return kDataCollectionDefaultsKeyPrefix + name_;
}

std::optional<bool> BCNApp::readDataCollectionSwitchFromUserDefaultsForApp(const BCNApp& app) {
    return numberAsBool(UserDefaults::standard().object(app.dataCollectionKey()));
}

std::optional<bool> BCNApp::readDataCollectionSwitchFromPlist() {
    return numberAsBool(Bundle::main().value(kDataCollectionPlistKey));
}

bool BCNApp::isDataCollectionDefaultEnabled() const {
    if (auto stored = readDataCollectionSwitchFromUserDefaultsForApp(*this)) return *stored;
    if (auto plist = readDataCollectionSwitchFromPlist()) return *plist;
    return true;
}

void BCNApp::setDataCollectionDefaultEnabled(bool enabled) {
    UserDefaults::standard().set(dataCollectionKey(), enabled);
    if (isDefaultApp_ && !options_.isAnalyticsCollectionExplicitlySet())
        BCNAnalyticsConfiguration::sharedInstance().setAnalyticsCollectionEnabled(enabled, false);
}

void BCNApp::clearDataCollectionSwitchFromUserDefaults() {
    UserDefaults::standard().remove(dataCollectionKey());
}

void BCNApp::appDidBecomeActive() {
    if (!isDataCollectionDefaultEnabled()) return;
    if (auto logger = heartbeatLogger()) logger->log();
}

}  // namespace pex
