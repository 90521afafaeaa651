#include "crashreporter/reports/CRSOnDemandModel.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <utility>

#include "crashreporter/CRSDataCollectionToken.h"
#include "crashreporter/CRSExistingReportManager.h"
#include "crashreporter/reports/CRSFileManager.h"
#include "crashreporter/reports/CRSSettings.h"
#include "crashreporter/runtime/CRSException.h"
#include "crashreporter/runtime/CRSLog.h"
#include "platform/foundation/Clock.h"

namespace pex {

namespace {

void logDelay(const char* what, double delay) {
    char line[128];
    std::snprintf(line, sizeof line, "%s, starting delay %.20f", what, delay);
    CRSDebugLog(line);
}

}  // namespace

CRSOnDemandModel::CRSOnDemandModel(std::shared_ptr<const CRSSettings> settings,
                                   std::shared_ptr<const CRSFileManager> fileManager)
    : settings_(std::move(settings)),
      fileManager_(std::move(fileManager)),
      dispatchQueue_(DispatchQueue::serial("com.beacon.crashreporter.on.demand")),
      lastUpdated_(now()) {}

double CRSOnDemandModel::now() {
    const auto sinceStart = Clock::current()->now().time_since_epoch();
    return std::chrono::duration<double>(sinceStart).count();
}

bool CRSOnDemandModel::recordOnDemandExceptionIfQuota(
    const BCNExceptionModel& exception, bool dataCollectionEnabled,
    const std::shared_ptr<CRSExistingReportManager>& existingReportManager) {
    std::lock_guard guard(lock_);
    if (isQueueFull()) {
        CRSDebugLog("No available on-demand quota, dropping report");
        incrementDroppedExceptionCount();
        incrementRecordedExceptionCount();
        return false;
    }
    const std::optional<std::string> path = recordOnDemandExceptionWithModel(exception);
    if (!path) {
        CRSErrorLog("Error recording on-demand exception");
        return false;
    }
    incrementQueuedOperationCount();
    incrementRecordedExceptionCount();
    resetDroppedExceptionCount();
    dispatchQueue_.async([self = shared_from_this(), path = *path, dataCollectionEnabled,
                          manager = std::weak_ptr(existingReportManager)] {
        self->runUploadOperation(path, dataCollectionEnabled, manager);
    });
    return true;
}

std::optional<std::string> CRSOnDemandModel::recordOnDemandExceptionWithModel(
    const BCNExceptionModel& exception) {
    return CRSExceptionRecordOnDemandModel(
        exception, recordedOnDemandExceptionCount(), droppedOnDemandExceptionCount(),
        !settings_ || settings_->onDemandThreadSuspensionEnabled());
}

void CRSOnDemandModel::runUploadOperation(
    const std::string& path, bool dataCollectionEnabled,
    const std::weak_ptr<CRSExistingReportManager>& existingReportManager) {
    const double delay = calculateUploadDelay();
    if (dataCollectionEnabled) {
        if (const auto manager = existingReportManager.lock()) {
            manager->handleOnDemandReportUpload(path, CRSDataCollectionToken::validToken(), true);
        }
        logDelay("Submitted an on-demand exception", delay);
    } else {
        storeReportPath(path);
        logDelay("Stored an on-demand exception", delay);
    }
    // The queue runs one upload at a time, so holding it here spaces the uploads.
    implementOnDemandUploadDelay(static_cast<int>(delay));
    decrementQueuedOperationCount();
}

void CRSOnDemandModel::storeReportPath(const std::string& path) {
    std::lock_guard guard(lock_);
    storedActiveReportPaths_.insert(storedActiveReportPaths_.begin(), path);
    if (storedActiveReportPaths_.size() <= kMaxStoredReports) return;
    if (fileManager_) fileManager_->removeItemAtPath(storedActiveReportPaths_.back());
    storedActiveReportPaths_.pop_back();
    decrementRecordedExceptionCount();
    incrementDroppedExceptionCount();
}

double CRSOnDemandModel::calculateUploadDelay() {
    const double step = calculateStepDuration();
    const double delay = (60.0 / uploadRate()) * std::pow(backoffBase(), step);
    // Also catches a delay that is not a number: it must never reach the integer conversion.
    if (!(delay <= kMaxUploadDelaySeconds)) return kMaxUploadDelaySeconds;
    return delay < 0 ? 0 : delay;
}

double CRSOnDemandModel::calculateStepDuration() {
    std::lock_guard guard(lock_);
    const double current = now();
    if (currentStep_ == -1.0) {
        currentStep_ = 0;
        lastUpdated_ = current;
    }
    const double elapsedSteps = (current - lastUpdated_) / backoffStepDuration();
    const double next = isQueueFull() ? std::min(currentStep_ + elapsedSteps, kMaxStep)
                                      : std::max(currentStep_ - elapsedSteps, 0.0);
    if (next != currentStep_) {
        currentStep_ = next;
        lastUpdated_ = current;
    }
    return next;
}

void CRSOnDemandModel::implementOnDemandUploadDelay(int seconds) const {
    if (seconds <= 0) return;
    const std::shared_ptr<Clock> clock = Clock::current();
    auto elapsed = std::make_shared<std::promise<void>>();
    std::future<void> done = elapsed->get_future();
    clock->schedule(clock->now() + std::chrono::seconds(seconds),
                    [elapsed] { elapsed->set_value(); });
    done.wait();
}

bool CRSOnDemandModel::isQueueFull() const {
    return static_cast<double>(getQueuedOperationsCount()) >= uploadRate();
}

double CRSOnDemandModel::uploadRate() const {
    return settings_ ? settings_->onDemandUploadRate() : CRSSettings::kDefaultOnDemandUploadRate;
}
double CRSOnDemandModel::backoffBase() const {
    return settings_ ? settings_->onDemandBackoffBase() : CRSSettings::kDefaultOnDemandBackoffBase;
}
double CRSOnDemandModel::backoffStepDuration() const {
    return settings_ ? settings_->onDemandBackoffStepDuration()
                     : CRSSettings::kDefaultOnDemandBackoffStepDuration;
}

int CRSOnDemandModel::recordedOnDemandExceptionCount() const {
    std::lock_guard guard(lock_);
    return recordedOnDemandExceptionCount_;
}
int CRSOnDemandModel::droppedOnDemandExceptionCount() const {
    std::lock_guard guard(lock_);
    return droppedOnDemandExceptionCount_;
}
int CRSOnDemandModel::getQueuedOperationsCount() const {
    std::lock_guard guard(lock_);
    return queuedOperationsCount_;
}
void CRSOnDemandModel::setRecordedOnDemandExceptionCount(int count) {
    std::lock_guard guard(lock_);
    recordedOnDemandExceptionCount_ = count;
}
void CRSOnDemandModel::setDroppedOnDemandExceptionCount(int count) {
    std::lock_guard guard(lock_);
    droppedOnDemandExceptionCount_ = count;
}
void CRSOnDemandModel::setQueuedOperationsCount(int count) {
    std::lock_guard guard(lock_);
    queuedOperationsCount_ = count;
}
void CRSOnDemandModel::incrementRecordedExceptionCount() {
    std::lock_guard guard(lock_);
    ++recordedOnDemandExceptionCount_;
}
void CRSOnDemandModel::decrementRecordedExceptionCount() {
    std::lock_guard guard(lock_);
    --recordedOnDemandExceptionCount_;
}
void CRSOnDemandModel::incrementDroppedExceptionCount() {
    std::lock_guard guard(lock_);
    ++droppedOnDemandExceptionCount_;
}
void CRSOnDemandModel::decrementDroppedExceptionCount() {
    std::lock_guard guard(lock_);
    --droppedOnDemandExceptionCount_;
}
void CRSOnDemandModel::resetDroppedExceptionCount() {
    setDroppedOnDemandExceptionCount(0);
}
void CRSOnDemandModel::incrementQueuedOperationCount() {
    std::lock_guard guard(lock_);
    ++queuedOperationsCount_;
}
void CRSOnDemandModel::decrementQueuedOperationCount() {
    std::lock_guard guard(lock_);
    --queuedOperationsCount_;
}

double CRSOnDemandModel::lastUpdated() const {
    std::lock_guard guard(lock_);
    return lastUpdated_;
}
void CRSOnDemandModel::setLastUpdated(double seconds) {
    std::lock_guard guard(lock_);
    lastUpdated_ = seconds;
}
double CRSOnDemandModel::currentStep() const {
    std::lock_guard guard(lock_);
    return currentStep_;
}
void CRSOnDemandModel::setCurrentStep(double step) {
    std::lock_guard guard(lock_);
    currentStep_ = step;
}
std::vector<std::string> CRSOnDemandModel::storedActiveReportPaths() const {
    std::lock_guard guard(lock_);
    return storedActiveReportPaths_;
}
void CRSOnDemandModel::setStoredActiveReportPaths(std::vector<std::string> paths) {
    std::lock_guard guard(lock_);
    storedActiveReportPaths_ = std::move(paths);
}
std::vector<std::string> CRSOnDemandModel::takeStoredActiveReportPaths() {
    std::lock_guard guard(lock_);
    return std::exchange(storedActiveReportPaths_, {});
}

}  // namespace pex
