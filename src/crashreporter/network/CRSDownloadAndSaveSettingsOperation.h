#pragma once
// Downloads the settings document with one GET (retried once when the server asks) and puts it
// in place of the cached one. Only a 2xx reply whose body is a JSON object replaces
// "settings.json", in one rename; anything else leaves the cached settings as they were.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "crashreporter/network/CRSHTTPClient.h"
#include "crashreporter/network/CRSNetworkOperation.h"
#include "crashreporter/reports/CRSInstallIdentifierModel.h"

namespace pex {

class CRSDownloadAndSaveSettingsOperation;

class CRSDownloadAndSaveSettingsOperationDelegate {
  public:
    virtual ~CRSDownloadAndSaveSettingsOperationDelegate() = default;
    // `error` is none when new settings were saved.
    virtual void operationDidDownloadAndSaveSettingsWithError(
        CRSDownloadAndSaveSettingsOperation& operation, const ErrorRef& error) = 0;
};

// Errors of the save step (the download's own errors come from the network client).
inline constexpr char kCRSSettingsDownloadErrorDomain[] = "CRSSettingsDownloadError";
enum CRSSettingsDownloadErrorCode : std::int64_t {
    // The reply was not a 2xx with a JSON object (a 304, an empty or broken body).
    CRSSettingsDownloadErrorCodeNotASettingsDocument = 1,
    // The document could not be written in place of the old one.
    CRSSettingsDownloadErrorCodeSaveFailed = 2,
};

class CRSDownloadAndSaveSettingsOperation : public CRSNetworkOperation {
  public:
    // Empty texts or a null install model are programming errors (std::invalid_argument).
    CRSDownloadAndSaveSettingsOperation(
        std::string beaconAppID,
        std::weak_ptr<CRSDownloadAndSaveSettingsOperationDelegate> delegate,
        std::string settingsURL, std::string settingsDirectoryPath, std::string settingsFilePath,
        std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
        std::weak_ptr<CRSHTTPClient> networkClient, CRSDataCollectionTokenRef token);

    // The default request with "GET", then Accept, the installation id, the device model, the
    // system's build and display versions, and the client version.
    URLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
        const std::string& url) const override;

    ErrorRef error() const;
    const std::string& settingsURL() const { return settingsURL_; }
    const std::string& settingsDirectoryPath() const { return settingsDirectoryPath_; }
    const std::string& settingsFilePath() const { return settingsFilePath_; }

  protected:
    void main() override;

  private:
    void didDownload(const std::optional<std::filesystem::path>& location,
                     const std::optional<HTTPURLResponse>& response, const ErrorRef& error);
    // Validates the downloaded body and renames it over the settings file; the error, if any.
    ErrorRef saveSettings(const std::optional<std::filesystem::path>& location,
                          const std::optional<HTTPURLResponse>& response) const;
    void report(const ErrorRef& error);

    const std::weak_ptr<CRSDownloadAndSaveSettingsOperationDelegate> delegate_;
    const std::string settingsURL_;
    const std::string settingsDirectoryPath_;
    const std::string settingsFilePath_;
    const std::shared_ptr<CRSInstallIdentifierModel> installIDModel_;
    const std::weak_ptr<CRSHTTPClient> networkClient_;
    mutable std::mutex errorLock_;
    ErrorRef error_;
};

}  // namespace pex
