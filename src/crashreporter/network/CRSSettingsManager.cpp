#include "crashreporter/network/CRSSettingsManager.h"

#include <chrono>
#include <stdexcept>

#include "crashreporter/network/CRSSettingsEndpoint.h"
#include "crashreporter/network/CRSURLBuilder.h"
#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/ReferenceDate.h"

namespace pex {

namespace {

// Seconds since 2001-01-01 00:00:00 UTC, the settings cache's time base.
double currentTimestamp() {
    return ReferenceDate::secondsSinceNow();
}

}  // namespace

std::shared_ptr<CRSSettingsManager> CRSSettingsManager::create(
    std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel,
    std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
    std::shared_ptr<CRSSettings> settings, std::shared_ptr<const CRSFileManager> fileManager,
    std::string beaconAppID) {
    return std::shared_ptr<CRSSettingsManager>(new CRSSettingsManager(
        std::move(appIDModel), std::move(installIDModel), std::move(settings),
        std::move(fileManager), std::move(beaconAppID)));
}

CRSSettingsManager::CRSSettingsManager(
    std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel,
    std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
    std::shared_ptr<CRSSettings> settings, std::shared_ptr<const CRSFileManager> fileManager,
    std::string beaconAppID)
    : appIDModel_(std::move(appIDModel)),
      installIDModel_(std::move(installIDModel)),
      settings_(std::move(settings)),
      fileManager_(std::move(fileManager)),
      beaconAppID_(std::move(beaconAppID)),
      networkClient_(CRSHTTPClient::create()) {}

void CRSSettingsManager::beginSettingsWithBeaconAppId(const std::string& beaconAppId,
                                                      const CRSDataCollectionTokenRef& token) {
    if (beaconAppId.empty()) {
        throw std::invalid_argument("Invalid parameter not satisfying: beaconAppId");
    }
    beaconAppID_ = beaconAppId;
    beginSettingsDownload(token);
}

void CRSSettingsManager::beginSettingsDownload(const CRSDataCollectionTokenRef& token) {
    auto operation = std::make_shared<CRSDownloadAndSaveSettingsOperation>(
        beaconAppID_, weak_from_this(), settingsURL(), fileManager_->settingsDirectoryPath(),
        fileManager_->settingsFilePath(), installIDModel_, networkClient_, token);
    operation->startWithToken(token);
}

std::string CRSSettingsManager::settingsURL() const {
    CRSURLBuilder builder = CRSURLBuilder::URLWithBase(CRSSettingsEndpoint::origin());
    builder.appendComponent("/spi/v2/platforms/");
    builder.escapeAndAppendComponent(appIDModel_->platform());
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent(beaconAppID_);
    builder.appendComponent("/settings");
    builder.appendValue(appIDModel_->buildVersion(), "build_version");
    builder.appendValue(appIDModel_->displayVersion(), "display_version");
    builder.appendValue(appIDModel_->buildInstanceID(), "instance");
    builder.appendValue(appIDModel_->installSource(), "source");
    return builder.URLString();
}

void CRSSettingsManager::finishNetworkingSession() {
    networkClient_->invalidateAndCancel();
}

void CRSSettingsManager::operationDidDownloadAndSaveSettingsWithError(
    CRSDownloadAndSaveSettingsOperation&, const ErrorRef& error) {
    if (error) {
        std::string message = kFailureMessage;
        const auto& info = error->userInfo();
        if (info.is_object() && info.contains("status_code") && info["status_code"] == 404) {
            message += " " + kFirstLaunchHint;
        }
        CRSErrorLog(message + " " + error->description());
    } else {
        CRSDebugLog("Settings downloaded successfully");
        settings_->cacheSettingsWithBeaconAppID(beaconAppID_, currentTimestamp());
    }
    finishNetworkingSession();
    if (onSettingsDownloadFinished) onSettingsDownloadFinished(error);
}

}  // namespace pex
