#include "crashreporter/runtime/CRSContextMetadata.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "crashreporter/runtime/CRSApplication.h"
#include "crashreporter/runtime/CRSBinaryImage.h"
#include "crashreporter/runtime/CRSFile.h"
#include "crashreporter/runtime/CRSHost.h"
#include "crashreporter/runtime/CRSSDKFileLog.h"
#include "crashreporter/runtime/CRSUtilities.h"

namespace pex {

namespace {

void writeIdentity(CRSFile* file, const CRSContextInitData& initData) {
    CRSFileWriteSectionStart(file, "identity");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryNSString(file, "generator", CRSSDKGeneratorName());
    CRSFileWriteHashEntryNSString(file, "display_version", CRSSDKVersion());
    CRSFileWriteHashEntryNSString(file, "build_version", CRSSDKVersion());
    CRSFileWriteHashEntryUint64(file, "started_at", static_cast<std::uint64_t>(std::time(nullptr)));
    CRSFileWriteHashEntryNSString(file, "session_id", initData.sessionId);
    CRSFileWriteHashEntryNSString(file, "app_quality_session_id", initData.appQualitySessionId);
    CRSFileWriteHashEntryNSStringUnlessNilOrEmpty(file, "install_id", initData.installId);
    CRSFileWriteHashEntryNSString(file, "beta_token", initData.betaToken);
    CRSFileWriteHashEntryBoolean(file, "absolute_log_timestamps", true);
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

void writeApplication(CRSFile* file, const CRSContextInitData& initData, const Bundle& bundle) {
    CRSFileWriteSectionStart(file, "application");
    CRSFileWriteHashStart(file);
    CRSFileWriteHashEntryNSString(file, "bundle_id", CRSApplicationGetBundleIdentifier(bundle));
    CRSFileWriteHashEntryNSString(file, "custom_bundle_id", initData.customBundleId);
    CRSFileWriteHashEntryNSString(file, "build_version", CRSApplicationGetBuildVersion(bundle));
    CRSFileWriteHashEntryNSString(file, "display_version", CRSApplicationGetDisplayVersion(bundle));
    CRSFileWriteHashEntryNSString(file, "extension_id", CRSApplicationExtensionPointID(bundle));
    CRSFileWriteHashEnd(file);
    CRSFileWriteSectionEnd(file);
}

}  // namespace

bool CRSContextRecordMetadata(const char* rootPath, const CRSContextInitData& initData,
                              const Bundle& bundle) {
    const std::string path =
        std::string(rootPath != nullptr ? rootPath : "") + "/" + kCRSMetadataFileName;
    if (!CRSUnlinkIfExists(path.c_str())) {
        CRSSDKLogWarn("Unable to unlink existing metadata file %s\n", strerror(errno));
    }
    CRSFile file;
    if (rootPath == nullptr || !CRSFileInitWithPathMode(&file, path.c_str(), false, false)) {
        CRSSDKLogWarn("Unable to open metadata file %s\n", path.c_str());
        return false;
    }
    writeIdentity(&file, initData);
    if (!CRSHostRecord(&file)) CRSSDKLogWarn("Unable to write out host metadata\n");
    writeApplication(&file, initData, bundle);
    CRSBinaryImageRecordMainExecutable(&file);
    CRSFileClose(&file);
    return true;
}

}  // namespace pex
