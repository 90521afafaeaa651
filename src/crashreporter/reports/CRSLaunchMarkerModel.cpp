#include "crashreporter/reports/CRSLaunchMarkerModel.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

CRSLaunchMarkerModel::CRSLaunchMarkerModel(const CRSFileManager& fileManager)
    : fileManager_(fileManager) {}

bool CRSLaunchMarkerModel::checkForAndCreateLaunchMarker() const {
    if (launchFailureMarkerPresent()) {
        CRSDebugLog(
            "[CrashReporter:Crash] Last launch failed: this may indicate a crash shortly after "
            "app launch.");
        return true;
    }
    createLaunchFailureMarker();
    return false;
}

std::string CRSLaunchMarkerModel::launchFailureMarkerPath() const {
    return (std::filesystem::path(fileManager_.structurePath()) / "launchmarker").string();
}

bool CRSLaunchMarkerModel::createLaunchFailureMarker() const {
    const int fd =
        ::open(launchFailureMarkerPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    return ::close(fd) == 0;
}

bool CRSLaunchMarkerModel::launchFailureMarkerPresent() const {
    return fileManager_.fileExistsAtPath(launchFailureMarkerPath());
}

bool CRSLaunchMarkerModel::removeLaunchFailureMarker() const {
    return fileManager_.removeItemAtPath(launchFailureMarkerPath());
}

}  // namespace pex
