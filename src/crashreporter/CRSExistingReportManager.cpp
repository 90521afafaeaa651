#include "crashreporter/CRSExistingReportManager.h"

#include <algorithm>

#include "crashreporter/BCNCrashReporterReport.h"
#include "crashreporter/CRSReportUploader.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSInternalReport.h"
#include "crashreporter/reports/CRSOnDemandModel.h"
#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/runtime/CRSLog.h"

namespace pex {

namespace {

using Reports = std::vector<std::shared_ptr<CRSInternalReport>>;

// Newest first by creation date; a report without one counts as the oldest.
void sortNewestFirst(Reports& reports) {
    std::stable_sort(reports.begin(), reports.end(), [](const auto& a, const auto& b) {
        return a->dateCreated() > b->dateCreated();
    });
}

}  // namespace

CRSExistingReportManager::CRSExistingReportManager(
    std::shared_ptr<const CRSFileManager> fileManager,
    std::shared_ptr<CRSReportUploader> reportUploader, DispatchQueue operationQueue,
    std::shared_ptr<const CRSSettings> settings,
    std::shared_ptr<CRSDataCollectionArbiter> dataArbiter,
    std::shared_ptr<CRSOnDemandModel> onDemandModel)
    : fileManager_(std::move(fileManager)),
      reportUploader_(std::move(reportUploader)),
      operationQueue_(std::move(operationQueue)),
      settings_(std::move(settings)),
      dataArbiter_(std::move(dataArbiter)),
      onDemandModel_(std::move(onDemandModel)) {}

void CRSExistingReportManager::collectExistingReports() {
    auto active = getUnsentActiveReportsAndDeleteEmptyOrOld(fileManager_->activePathContents());
    auto processing = fileManager_->processingPathContents();
    auto prepared = fileManager_->preparedPathContents();
    std::lock_guard lock(mutex_);
    existingUnemptyActiveReportPaths_ = std::move(active);
    processingReportPaths_ = std::move(processing);
    preparedReportPaths_ = std::move(prepared);
}

std::vector<std::string> CRSExistingReportManager::getUnsentActiveReportsAndDeleteEmptyOrOld(
    const std::vector<std::string>& paths) {
    Reports all = CRSInternalReport::reportsAtPathsRemovingAbandoned(paths, *fileManager_);
    if (all.empty()) return {};

    sortNewestFirst(all);
    if (settings_ && settings_->metricKitCollectionEnabled() &&
        fileManager_->metricKitDiagnosticFileExists()) {
        fileManager_->createEmptyMetricKitFile(all.front()->path());
    }

    Reports unsent;
    std::vector<std::string> empty;
    for (const auto& report : all) {
        if (report->hasAnyEvents()) {
            unsent.push_back(report);
        } else {
            empty.push_back(report->path());
        }
    }
    removeOnWorkQueue(std::move(empty));
    if (unsent.empty()) return {};

    sortNewestFirst(unsent);
    {
        std::lock_guard lock(mutex_);
        newestInternalReport_ = unsent.front();
    }

    if (unsent.size() > kMaxUnsentReports) {
        CRSInfoLog("Automatic data collection is disabled. Deleting " +
                   std::to_string(unsent.size() - kMaxUnsentReports) +
                   " unsent reports over the limit of " + std::to_string(kMaxUnsentReports) +
                   " to prevent disk space from filling up. To take action on these reports, "
                   "call send/deleteUnsentReports. To turn on automatic data collection, call "
                   "setCrashReporterCollectionEnabled with true");
    }
    std::vector<std::string> kept;
    std::vector<std::string> surplus;
    for (std::size_t i = 0; i < unsent.size(); ++i) {
        (i < kMaxUnsentReports ? kept : surplus).push_back(unsent[i]->path());
    }
    removeOnWorkQueue(std::move(surplus));
    return kept;
}

void CRSExistingReportManager::sendUnsentReportsWithToken(const CRSDataCollectionTokenRef& token,
                                                          bool urgent) {
    for (const std::string& path : existingUnemptyActiveReportPaths()) {
        processExistingActiveReportPath(path, token, urgent);
    }
    if (onDemandModel_) {
        for (const std::string& path : onDemandModel_->takeStoredActiveReportPaths()) {
            processExistingActiveReportPath(path, token, urgent);
        }
    }

    // A report found in "processing" is packaged as it stands; one in "prepared" is sent.
    operationQueue_.async([uploader = reportUploader_, paths = processingReportPaths(), token] {
        for (const std::string& path : paths) {
            if (auto report = CRSInternalReport::reportWithPath(path)) {
                uploader->prepareAndSubmitReport(report, token, false, false);
            }
        }
    });
    operationQueue_.async([uploader = reportUploader_, fileManager = fileManager_,
                           paths = preparedReportPaths(), token] {
        for (const std::string& path : paths) {
            if (fileManager->fileExistsAtPath(path)) {
                uploader->uploadPackagedReportAtPath(path, token, false);
            }
        }
    });
}

void CRSExistingReportManager::processExistingActiveReportPath(
    const std::string& path, const CRSDataCollectionTokenRef& token, bool urgent) {
    const auto report = CRSInternalReport::reportWithPath(path);
    if (!report) return;
    if (!report->hasAnyEvents()) {
        removeOnWorkQueue({path});
    } else if (urgent && CRSDataCollectionToken::isValid(token)) {
        reportUploader_->prepareAndSubmitReport(report, token, true, true);
    } else {
        operationQueue_.async([uploader = reportUploader_, report, token] {
            uploader->prepareAndSubmitReport(report, token, false, true);
        });
    }
}

void CRSExistingReportManager::handleOnDemandReportUpload(const std::string& path,
                                                          const CRSDataCollectionTokenRef& token,
                                                          bool) {
    operationQueue_.async([self = shared_from_this(), path, token] {
        self->processExistingActiveReportPath(path, token, true);
    });
}

void CRSExistingReportManager::deleteUnsentReports() {
    std::vector<std::string> paths;
    {
        std::lock_guard lock(mutex_);
        paths = existingUnemptyActiveReportPaths_;
        paths.insert(paths.end(), processingReportPaths_.begin(), processingReportPaths_.end());
        paths.insert(paths.end(), preparedReportPaths_.begin(), preparedReportPaths_.end());
    }
    removeOnWorkQueue(std::move(paths));
}

void CRSExistingReportManager::removeOnWorkQueue(std::vector<std::string> paths) const {
    if (paths.empty()) return;
    operationQueue_.async([fileManager = fileManager_, paths = std::move(paths)] {
        for (const std::string& path : paths) fileManager->removeItemAtPath(path);
    });
}

std::uint64_t CRSExistingReportManager::unsentReportsCount() const {
    std::lock_guard lock(mutex_);
    return existingUnemptyActiveReportPaths_.size();
}

std::shared_ptr<BCNCrashReporterReport> CRSExistingReportManager::newestUnsentReport() const {
    std::lock_guard lock(mutex_);
    if (existingUnemptyActiveReportPaths_.empty() || !newestInternalReport_) return nullptr;
    return std::make_shared<BCNCrashReporterReport>(*newestInternalReport_);
}

std::shared_ptr<CRSInternalReport> CRSExistingReportManager::newestInternalReport() const {
    std::lock_guard lock(mutex_);
    return newestInternalReport_;
}

std::vector<std::string> CRSExistingReportManager::existingUnemptyActiveReportPaths() const {
    std::lock_guard lock(mutex_);
    return existingUnemptyActiveReportPaths_;
}

std::vector<std::string> CRSExistingReportManager::processingReportPaths() const {
    std::lock_guard lock(mutex_);
    return processingReportPaths_;
}

std::vector<std::string> CRSExistingReportManager::preparedReportPaths() const {
    std::lock_guard lock(mutex_);
    return preparedReportPaths_;
}

}  // namespace pex
