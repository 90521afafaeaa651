#include "crashreporter/CRSContextManager.h"

#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/runtime/CRSContextInitialize.h"
#include "crashreporter/runtime/CRSContextMetadata.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

CRSContextInitData CRSContextBuildInitData(const CRSInternalReport& report,
                                           const CRSSettings& settings,
                                           const CRSFileManager& fileManager,
                                           const std::string& appQualitySessionId,
                                           const std::string& installId) {
    CRSContextInitData initData;
    initData.customBundleId = std::nullopt;
    initData.rootPath = report.path();
    initData.previouslyCrashedFileRootPath = fileManager.rootPath();
    initData.sessionId = report.identifier();
    initData.appQualitySessionId = appQualitySessionId;
    initData.betaToken = std::string();
    if (!installId.empty()) initData.installId = installId;
    initData.errorsEnabled = settings.errorReportingEnabled();
    initData.customExceptionsEnabled = settings.customExceptionsEnabled();
    initData.maxCustomExceptions = settings.maxCustomExceptions();
    initData.maxErrorLogSize = settings.errorLogBufferSize();
    initData.maxLogSize = settings.logBufferSize();
    initData.maxKeyValues = settings.maxCustomKeys();
    return initData;
}

CRSContextManager::CRSContextManager(Bundle bundle) : bundle_(std::move(bundle)) {}

PRMPromiseRef CRSContextManager::setupContextWithReport(
    std::shared_ptr<CRSInternalReport> report, std::shared_ptr<const CRSSettings> settings,
    std::shared_ptr<const CRSFileManager> fileManager, std::string installId) {
    CRSContextInitData initData;
    {
        std::lock_guard lock(mutex_);
        report_ = std::move(report);
        settings_ = std::move(settings);
        fileManager_ = std::move(fileManager);
        installId_ = std::move(installId);
        hasInitializedContext_ = true;
        initData = buildInitDataLocked();
    }
    return CRSContextInitialize(initData, bundle_);
}

CRSContextInitData CRSContextManager::buildInitData() const {
    std::lock_guard lock(mutex_);
    return buildInitDataLocked();
}

CRSContextInitData CRSContextManager::buildInitDataLocked() const {
    if (!report_ || !settings_ || !fileManager_) {
        CRSContextInitData initData;
        initData.appQualitySessionId = appQualitySessionId_;
        return initData;
    }
    return CRSContextBuildInitData(*report_, *settings_, *fileManager_, appQualitySessionId_,
                                   installId_);
}

void CRSContextManager::setAppQualitySessionId(const std::string& identifier) {
    // Changes from several threads are written in the order they were stored, so the file
    // always ends with the latest session.
    std::lock_guard writing(metadataWriteMutex_);
    CRSContextInitData initData;
    {
        std::lock_guard lock(mutex_);
        appQualitySessionId_ = identifier;
        // Before set-up the identifier only waits here and goes into the context when it starts.
        if (!hasInitializedContext_) return;
        initData = buildInitDataLocked();
    }
    const std::string rootPath = initData.rootPath.value_or("");
    if (rootPath.empty() || !CRSContextRecordMetadata(rootPath.c_str(), initData, bundle_)) {
        CRSErrorLog("Failed to write context file while updating App Quality Session ID");
    }
}

std::string CRSContextManager::appQualitySessionId() const {
    std::lock_guard lock(mutex_);
    return appQualitySessionId_;
}

bool CRSContextManager::hasInitializedContext() const {
    std::lock_guard lock(mutex_);
    return hasInitializedContext_;
}

}  // namespace pex
