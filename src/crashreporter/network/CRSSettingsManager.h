#pragma once
// Fetches a fresh settings document from the settings host and has the settings model cache
// it. Every call downloads (the caller decides whether the cache has expired), and the
// manager's network session closes after the first outcome, so one manager downloads once.
#include <functional>
#include <memory>
#include <string>

#include "crashreporter/CRSDataCollectionToken.h"
#include "crashreporter/network/CRSApplicationIdentifierModel.h"
#include "crashreporter/network/CRSDownloadAndSaveSettingsOperation.h"
#include "crashreporter/network/CRSHTTPClient.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSInstallIdentifierModel.h"
#include "crashreporter/reports/CRSSettings.h"

namespace pex {

class CRSSettingsManager : public CRSDownloadAndSaveSettingsOperationDelegate,
                           public std::enable_shared_from_this<CRSSettingsManager> {
  public:
    static inline const std::string kFailureMessage = "Failed to download settings.";
    static inline const std::string kFirstLaunchHint =
        "If this is your first time launching the app, make sure you have enabled CrashReporter "
        "in the Beacon Console.";

    static std::shared_ptr<CRSSettingsManager> create(
        std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel,
        std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
        std::shared_ptr<CRSSettings> settings, std::shared_ptr<const CRSFileManager> fileManager,
        std::string beaconAppID);

    // Downloads the settings now. An empty app id is a programming error (std::invalid_argument).
    void beginSettingsWithBeaconAppId(const std::string& beaconAppId,
                                      const CRSDataCollectionTokenRef& token);
    void beginSettingsDownload(const CRSDataCollectionTokenRef& token);

    // <settings host>/spi/v2/platforms/<platform>/apps/<app id>/settings?build_version=...
    // &display_version=...&instance=...&source=... (items without a value left out).
    std::string settingsURL() const;
    // Closes the network session: no later download can start.
    void finishNetworkingSession();

    void operationDidDownloadAndSaveSettingsWithError(
        CRSDownloadAndSaveSettingsOperation& operation, const ErrorRef& error) override;

    // Runs (on the network client's queue) once a download has ended and its outcome has been
    // applied, with its error (none when new settings are in force).
    std::function<void(const ErrorRef& error)> onSettingsDownloadFinished;

    const std::string& beaconAppID() const { return beaconAppID_; }
    const std::shared_ptr<CRSHTTPClient>& networkClient() const { return networkClient_; }

  private:
    CRSSettingsManager(std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel,
                       std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
                       std::shared_ptr<CRSSettings> settings,
                       std::shared_ptr<const CRSFileManager> fileManager, std::string beaconAppID);

    const std::shared_ptr<const CRSApplicationIdentifierModel> appIDModel_;
    const std::shared_ptr<CRSInstallIdentifierModel> installIDModel_;
    const std::shared_ptr<CRSSettings> settings_;
    const std::shared_ptr<const CRSFileManager> fileManager_;
    std::string beaconAppID_;
    const std::shared_ptr<CRSHTTPClient> networkClient_;
};

}  // namespace pex
