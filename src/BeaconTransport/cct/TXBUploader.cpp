#include "BeaconTransport/cct/TXBUploader.h"

#include <cstdlib>

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "BeaconTransport/cct/TXBCompressionHelper.h"
#include "BeaconTransport/cct/TXBLogRequest.h"
#include "BeaconTransport/cct/TXBUploadOperation.h"
#include "BeaconTransport/cct/TXPEndpoints.h"

namespace pex {

const std::shared_ptr<TXBUploader>& TXBUploader::sharedInstance() {
    static auto* instance = new std::shared_ptr<TXBUploader>(make(TXPRegistrar::sharedPointer()));
    return *instance;
}

std::shared_ptr<TXBUploader> TXBUploader::make(std::shared_ptr<TXPRegistrar> registrar) {
    return std::shared_ptr<TXBUploader>(new TXBUploader(std::move(registrar)));
}

TXBUploader::TXBUploader(std::shared_ptr<TXPRegistrar> registrar)
    : uploadQueue_(DispatchQueue::serial("com.beacon.TXBUploader")),
      registrar_(std::move(registrar)),
      session_(std::make_shared<URLSession>()) {}

void TXBUploader::uploadTarget(std::int32_t target, std::int64_t conditions) {
    std::shared_ptr<TXPStorageProtocol> storage = registrar_->storageForTarget(target);
    if (!storage) {
        TXPConsoleLog(TXPMessageCodeUploadFailure, TXPLogLevelError,
                      "Failed to upload target: " + std::to_string(target) +
                          " - could not find corresponding storage instance.");
        return;
    }
    std::shared_ptr<TXPMetricsControllerProtocol> metrics =
        registrar_->metricsControllerForTarget(target);
    auto operation = std::make_shared<TXBUploadOperation>(
        target, conditions, TXPEndpoints::uploadURLForTarget(target).value_or(""), storage, metrics,
        shared_from_this());
    uploadQueue_.async([self = shared_from_this(), operation] {
        self->waiting_.push_back(operation);
        TXPLogDebug(0, "Upload operation scheduled, operation count: " +
                           std::to_string(self->waiting_.size()));
        self->startNextOperation();
    });
}

void TXBUploader::startNextOperation() {
    if (running_) return;
    if (waiting_.empty()) {
        for (auto& done : std::exchange(idleWaiters_, {})) done();
        return;
    }
    running_ = waiting_.front();
    waiting_.pop_front();
    running_->start();
}

void TXBUploader::operationFinished(bool uploadAttempted) {
    TXPLogDebug(0, std::string("Upload operation finished, uploadAttempted: ") +
                       (uploadAttempted ? "YES" : "NO"));
    running_.reset();
    // An upload that really went out makes the waiting ones pointless until the next round.
    if (uploadAttempted) waiting_.clear();
    startNextOperation();
}

void TXBUploader::whenIdle(std::function<void()> done) {
    uploadQueue_.async([self = shared_from_this(), done = std::move(done)] {
        if (!self->running_ && self->waiting_.empty())
            done();
        else
            self->idleWaiters_.push_back(done);
    });
}

std::optional<TXPClock> TXBUploader::nextUploadTimeForTarget(std::int64_t target) const {
    std::lock_guard lock(nextUploadMutex_);
    auto found = nextUploadTimeByTarget_.find(target);
    if (found == nextUploadTimeByTarget_.end()) return std::nullopt;
    return found->second;
}

void TXBUploader::setNextUploadTime(std::optional<TXPClock> time, std::int64_t target) {
    std::lock_guard lock(nextUploadMutex_);
    if (time)
        nextUploadTimeByTarget_.insert_or_assign(target, *time);
    else
        nextUploadTimeByTarget_.erase(target);
}

std::optional<URLRequest> TXBUploader::constructRequest(const std::string& url, std::int64_t target,
                                                        const std::string& body) {
    if (body.empty() || url.empty()) return std::nullopt;
    URLRequest request(url, "POST");
    request.httpBody = body;
    if (std::optional<std::string> key = TXPEndpoints::APIKeyForTarget(target))
        request.setValue(*key, "X-Beacon-Api-Key");
    if (TXBCompressionHelper::isGzipped(body)) request.setValue("gzip", "Content-Encoding");
    request.setValue("application/x-protobuf", "Content-Type");
    request.setValue("gzip", "Accept-Encoding");
    request.setValue(
        "datatransport/0.0.1 " + TXPEndpoints::userAgentName(target) + "support/0.0.1 linux",
        "User-Agent");
    request.maximumResponseSize = 1024 * 1024;  // a reply is a few bytes
    return request;
}

namespace {

std::int64_t clampWait(double millis) {
    if (!(millis > 0)) return 0;  // negative or not a number
    if (millis > double(TXBUploader::kMaxWaitMillis)) return TXBUploader::kMaxWaitMillis;
    return static_cast<std::int64_t>(millis);
}

}  // namespace

std::int64_t TXBUploader::waitMillisForResponse(const HTTPURLResponse& response,
                                                const std::string& body) {
    if (!body.empty()) {
        ErrorRef error;
        std::optional<TXBUploadReply> reply = TXBLogRequest::decodeLogResponse(body, &error);
        if (reply && reply->waitMillis) {
            TXPLogDebug(0, "TXB: The backend responded asking to not upload for " +
                               std::to_string(*reply->waitMillis) + " millis from now.");
            return clampWait(double(*reply->waitMillis));
        }
        if (!reply)
            TXPLogDebug(0, "There was a response decoding error: " +
                               (error ? error->description() : std::string()));
    }
    if (std::optional<std::string> retryAfter = response.value("Retry-After");
        retryAfter && !retryAfter->empty()) {
        char* end = nullptr;
        double seconds = std::strtod(retryAfter->c_str(), &end);
        if (end && *end == '\0' && end != retryAfter->c_str()) return clampWait(seconds * 1000);
    }
    TXPLogDebug(0,
                "TXB: The backend response failed to parse, so the next request won't "
                "occur until 15 minutes from now");
    return kDefaultWaitMillis;
}

}  // namespace pex
