#include "crashreporter/CRSDataCollectionArbiter.h"

#include "beacon-core/BCNApp.h"
#include "crashreporter/CRSUserDefaults.h"
#include "platform/foundation/DefaultsValueReading.h"

namespace pex {

CRSDataCollectionArbiter::CRSDataCollectionArbiter(std::shared_ptr<const BCNApp> app,
                                                   nlohmann::json appInfo)
    : CRSDataCollectionArbiter(std::move(app), std::move(appInfo),
                               CRSUserDefaults::standardUserDefaults()) {}

CRSDataCollectionArbiter::CRSDataCollectionArbiter(std::shared_ptr<const BCNApp> app,
                                                   nlohmann::json appInfo, CRSUserDefaults& store)
    : app_(std::move(app)), appInfo_(std::move(appInfo)), store_(store) {
    if (isCrashReporterCollectionEnabled()) {
        dataCollectionEnabled_ = PRMPromise::resolvedWith(nullptr);
        promiseResolved_ = true;
    } else {
        dataCollectionEnabled_ = PRMPromise::pendingPromise();
    }
}

bool CRSDataCollectionArbiter::isCrashReporterCollectionEnabledWithApp(
    const BCNApp* app, const nlohmann::json& appInfo, const CRSUserDefaults& store) {
    const std::int64_t sticky = stickySetting(store);
    if (sticky != 0) return sticky == kStickyEnabled;

    if (appInfo.is_object()) {
        const auto found = appInfo.find(kCRSCollectionEnabledPlistKey);
        if (found != appInfo.end() &&
            (found->is_string() || found->is_number() || found->is_boolean())) {
            return DefaultsValueReading::boolValue(*found);
        }
    }
    return app == nullptr || app->isDataCollectionDefaultEnabled();
}

std::int64_t CRSDataCollectionArbiter::stickySetting(const CRSUserDefaults& store) {
    return store.integerForKey(kCRSDataCollectionStickyKey);
}

bool CRSDataCollectionArbiter::isCrashReporterCollectionEnabled() const {
    return isCrashReporterCollectionEnabledWithApp(app_.get(), appInfo_, store_);
}

void CRSDataCollectionArbiter::setCrashReporterCollectionEnabled(bool enabled) {
    store_.setInteger(enabled ? kStickyEnabled : kStickyDisabled, kCRSDataCollectionStickyKey);
    store_.synchronize();

    std::lock_guard lock(mutex_);
    if (enabled && !promiseResolved_) {
        dataCollectionEnabled_->fulfill(nullptr);
        promiseResolved_ = true;
    } else if (!enabled && promiseResolved_) {
        dataCollectionEnabled_ = PRMPromise::pendingPromise();
        promiseResolved_ = false;
    }
}

PRMPromiseRef CRSDataCollectionArbiter::waitForCrashReporterCollectionEnabled() const {
    std::lock_guard lock(mutex_);
    return dataCollectionEnabled_;
}

bool CRSDataCollectionArbiter::isLegacyDataCollectionKeyInPlist() const {
    return appInfo_.is_object() && appInfo_.contains(kCRSLegacyCollectionEnabledPlistKey);
}

}  // namespace pex
