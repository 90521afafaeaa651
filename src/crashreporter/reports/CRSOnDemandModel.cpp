#include "crashreporter/reports/CRSOnDemandModel.h"

#include <utility>

namespace pex {

CRSOnDemandModel::CRSOnDemandModel(std::shared_ptr<const CRSSettings> settings,
                                   std::shared_ptr<const CRSFileManager> fileManager)
    : settings_(std::move(settings)), fileManager_(std::move(fileManager)) {}

std::vector<std::string> CRSOnDemandModel::storedActiveReportPaths() const {
    std::lock_guard lock(mutex_);
    return storedActiveReportPaths_;
}

void CRSOnDemandModel::setStoredActiveReportPaths(std::vector<std::string> paths) {
    std::lock_guard lock(mutex_);
    storedActiveReportPaths_ = std::move(paths);
}

std::vector<std::string> CRSOnDemandModel::takeStoredActiveReportPaths() {
    std::lock_guard lock(mutex_);
    return std::exchange(storedActiveReportPaths_, {});
}

}  // namespace pex
