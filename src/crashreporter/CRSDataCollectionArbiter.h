#pragma once
// Whether the application lets crash reports leave the machine. A choice the application made
// through the SDK is remembered and wins; without one, the information list's
// "BeaconCrashReporterCollectionEnabled" decides; without that, the SDK-wide default. Code that
// must wait for collection (the start-up's report action) waits on a promise that is
// fulfilled while collection is on and pending while it is off.
#include <cstdint>
#include <memory>
#include <mutex>

#include <nlohmann/json.hpp>

#include "beacon-core/PRMPromise.h"

namespace pex {

class BCNApp;
class CRSUserDefaults;

inline constexpr char kCRSDataCollectionStickyKey[] = "com.crashreporter.data_collection";
inline constexpr char kCRSCollectionEnabledPlistKey[] = "BeaconCrashReporterCollectionEnabled";
inline constexpr char kCRSLegacyCollectionEnabledPlistKey[] =
    "beacon_crashreporter_collection_enabled";

class CRSDataCollectionArbiter {
  public:
    // The remembered choice: 0 none, 1 enabled, anything else disabled (2 is written).
    static constexpr std::int64_t kStickyEnabled = 1;
    static constexpr std::int64_t kStickyDisabled = 2;

    // `appInfo` is the main bundle's information list. The remembered choice lives in
    // `store` (the crash SDK's shared key-value store unless a test gives its own), which
    // outlives the arbiter. Without an application the SDK-wide default reads as on.
    CRSDataCollectionArbiter(std::shared_ptr<const BCNApp> app, nlohmann::json appInfo);
    CRSDataCollectionArbiter(std::shared_ptr<const BCNApp> app, nlohmann::json appInfo,
                             CRSUserDefaults& store);
    CRSDataCollectionArbiter(const CRSDataCollectionArbiter&) = delete;
    CRSDataCollectionArbiter& operator=(const CRSDataCollectionArbiter&) = delete;

    static bool isCrashReporterCollectionEnabledWithApp(const BCNApp* app,
                                                        const nlohmann::json& appInfo,
                                                        const CRSUserDefaults& store);
    static std::int64_t stickySetting(const CRSUserDefaults& store);

    // Evaluated anew on every call.
    bool isCrashReporterCollectionEnabled() const;
    // Remembers the choice on disk and fulfils or renews the waiters' promise.
    void setCrashReporterCollectionEnabled(bool enabled);
    // Fulfilled (with nothing) while collection is on; a switch-off gives later callers a new
    // pending one.
    PRMPromiseRef waitForCrashReporterCollectionEnabled() const;
    bool isLegacyDataCollectionKeyInPlist() const;

  private:
    const std::shared_ptr<const BCNApp> app_;
    const nlohmann::json appInfo_;
    CRSUserDefaults& store_;
    mutable std::mutex mutex_;
    PRMPromiseRef dataCollectionEnabled_;  // guarded by mutex_
    bool promiseResolved_ = false;         // guarded by mutex_
};

}  // namespace pex
