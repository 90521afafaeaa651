#include "crashreporter/network/CRSDownloadAndSaveSettingsOperation.h"

#include <stdexcept>
#include <system_error>

#include "beacon-core/UTLAppEnvironmentUtil.h"
#include "crashreporter/network/CRSNetworkResponseHandler.h"
#include "crashreporter/network/CRSSettingsDocument.h"
#include "crashreporter/runtime/CRSHost.h"
#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/AtomicFile.h"

namespace pex {

namespace {

constexpr std::uint64_t kSettingsRetryLimit = 1;

void require(bool holds, const char* parameter) {
    if (!holds) {
        throw std::invalid_argument(std::string("Invalid parameter not satisfying: ") + parameter);
    }
}

ErrorRef saveError(std::int64_t code, const std::string& description, long status = 0) {
    nlohmann::json userInfo = {{Error::kDescriptionKey, description}};
    if (status != 0) userInfo["status_code"] = status;
    return Error::make(kCRSSettingsDownloadErrorDomain, code, std::move(userInfo));
}

}  // namespace

CRSDownloadAndSaveSettingsOperation::CRSDownloadAndSaveSettingsOperation(
    std::string beaconAppID, std::weak_ptr<CRSDownloadAndSaveSettingsOperationDelegate> delegate,
    std::string settingsURL, std::string settingsDirectoryPath, std::string settingsFilePath,
    std::shared_ptr<CRSInstallIdentifierModel> installIDModel,
    std::weak_ptr<CRSHTTPClient> networkClient, CRSDataCollectionTokenRef token)
    : CRSNetworkOperation("CRSDownloadAndSaveSettingsOperation", std::move(beaconAppID),
                          std::move(token)),
      delegate_(std::move(delegate)),
      settingsURL_(std::move(settingsURL)),
      settingsDirectoryPath_(std::move(settingsDirectoryPath)),
      settingsFilePath_(std::move(settingsFilePath)),
      installIDModel_(std::move(installIDModel)),
      networkClient_(std::move(networkClient)) {
    require(!settingsURL_.empty(), "settingsURL");
    require(!settingsDirectoryPath_.empty(), "settingsDirectoryPath");
    require(!settingsFilePath_.empty(), "settingsFilePath");
    require(installIDModel_ != nullptr, "installIDModel");
}

URLRequest
CRSDownloadAndSaveSettingsOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
    const std::string& url) const {
    URLRequest request = mutableRequestWithDefaultHTTPHeadersForURL(url, kDefaultTimeout);
    request.httpMethod = "GET";
    // A settings document is small; a larger reply is not one and is not written to disk whole.
    request.maximumResponseSize = CRSSettingsDocument::kMaximumSize;
    auto add = [&](const char* name, const std::optional<std::string>& value) {
        if (value && !value->empty()) request.headers.push_back({name, *value});
    };
    add("Accept", "application/json");
    add("X-CrashReporter-Installation-ID", installIDModel_->installID());
    // The firmware's product name, else the machine type: a machine that keeps its product name
    // to itself (a container, a virtual machine) still says what it is.
    add("X-CrashReporter-Device-Model", UTLAppEnvironmentUtil::deviceModel());
    add("X-CrashReporter-OS-Build-Version", CRSHostOSBuildVersion());
    add("X-CrashReporter-OS-Display-Version", CRSHostOSDisplayVersion());
    add("X-CrashReporter-API-Client-Version", CRSSDKVersion());
    return request;
}

ErrorRef CRSDownloadAndSaveSettingsOperation::error() const {
    std::lock_guard guard(errorLock_);
    return error_;
}

void CRSDownloadAndSaveSettingsOperation::main() {
    const URLRequest request =
        mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(settingsURL_);
    auto client = networkClient_.lock();
    if (!client) {
        // The client has gone with its owner: nothing can be downloaded, but the operation
        // still ends.
        report(CRSNetworkResponseHandler::errorForCode(CRSNetworkErrorCodeTaskCreation));
        return;
    }
    auto self = std::static_pointer_cast<CRSDownloadAndSaveSettingsOperation>(shared_from_this());
    client->startDownloadTaskWithRequest(
        request, kSettingsRetryLimit,
        [self](std::optional<std::filesystem::path> location,
               std::optional<HTTPURLResponse> response,
               ErrorRef error) { self->didDownload(location, response, error); });
}

void CRSDownloadAndSaveSettingsOperation::didDownload(
    const std::optional<std::filesystem::path>& location,
    const std::optional<HTTPURLResponse>& response, const ErrorRef& error) {
    if (error) {
        report(error);
        return;
    }
    const ErrorRef saveFailure = saveSettings(location, response);
    if (saveFailure && saveFailure->code() == CRSSettingsDownloadErrorCodeSaveFailed) {
        CRSErrorLog("Unable to complete settings download " + saveFailure->description());
    }
    report(saveFailure);
}

ErrorRef CRSDownloadAndSaveSettingsOperation::saveSettings(
    const std::optional<std::filesystem::path>& location,
    const std::optional<HTTPURLResponse>& response) const {
    const long status = response ? response->statusCode : 0;
    // A 304 (or any reply without a new document) keeps the settings in force.
    if (!response || !response->isSuccess() || !location) {
        return saveError(CRSSettingsDownloadErrorCodeNotASettingsDocument,
                         "The settings reply carries no new settings document.", status);
    }
    std::error_code readError;
    const auto size = std::filesystem::file_size(*location, readError);
    std::optional<std::string> bytes;
    if (!readError && size <= CRSSettingsDocument::kMaximumSize) {
        bytes = AtomicFile::read(*location, readError, CRSSettingsDocument::kMaximumSize);
    }
    if (!bytes || !CRSSettingsDocument::parse(*bytes)) {
        return saveError(CRSSettingsDownloadErrorCodeNotASettingsDocument,
                         "The settings reply is not a JSON object.", status);
    }
    // Written beside the old file and renamed over it: a reader sees the old settings or the
    // new ones, and a failure leaves the old ones in place.
    if (const std::error_code writeError = AtomicFile::write(settingsFilePath_, *bytes)) {
        return saveError(
            CRSSettingsDownloadErrorCodeSaveFailed,
            "Could not save the settings to " + settingsFilePath_ + ": " + writeError.message(),
            status);
    }
    return nullptr;
}

void CRSDownloadAndSaveSettingsOperation::report(const ErrorRef& error) {
    {
        std::lock_guard guard(errorLock_);
        error_ = error;
    }
    if (auto delegate = delegate_.lock()) {
        delegate->operationDidDownloadAndSaveSettingsWithError(*this, error);
    }
    finishWithError(error);
}

}  // namespace pex
