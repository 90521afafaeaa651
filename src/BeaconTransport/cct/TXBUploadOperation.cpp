#include "BeaconTransport/cct/TXBUploadOperation.h"

#include "BeaconTransport/TXPLibrary/TXPLog.h"
#include "BeaconTransport/TXPLibrary/TXPUploader.h"
#include "BeaconTransport/cct/TXBCompressionHelper.h"
#include "BeaconTransport/cct/TXBLogRequest.h"
#include "BeaconTransport/cct/TXBUploader.h"
#include "platform/foundation/DeploymentSettings.h"

namespace pex {

TXBUploadOperation::TXBUploadOperation(
    std::int64_t target, std::int64_t conditions, std::string uploadURL,
    std::shared_ptr<TXPStorageProtocol> storage,
    std::shared_ptr<TXPMetricsControllerProtocol> metricsController,
    std::shared_ptr<TXBUploader> uploader)
    : target_(target),
      conditions_(conditions),
      uploadURL_(std::move(uploadURL)),
      storage_(std::move(storage)),
      metricsController_(std::move(metricsController)),
      uploader_(std::move(uploader)) {}

bool TXBUploadOperation::readyToUploadTarget() const {
    if (conditions_ & TXPNetworkNone) {
        TXPLogDebug(0, "TXB: Not ready to upload without a network connection.");
        return false;
    }
    if (conditions_ & TXPUploadForced) {
        TXPLogDebug(0, "TXB: a high priority event is allowing an upload");
        return true;
    }
    std::optional<TXPClock> next = uploader_->nextUploadTimeForTarget(target_);
    bool ready = !next || TXPClock::snapshot().isAfter(*next);
    TXPLogDebug(0, ready ? "TXB: can upload to target " + std::to_string(target_) +
                               " because the request wait time has transpired"
                         : "TXB: can't upload to target " + std::to_string(target_) +
                               " because the backend asked to wait");
    return ready;
}

TXPStorageEventSelector TXBUploadOperation::eventSelector() const {
    if (conditions_ & TXPUploadForced)
        return TXPStorageEventSelector::eventSelectorForTarget(target_);
    std::set<std::int64_t> tiers;
    if (conditions_ & TXPNetworkWifi)
        tiers.insert({TXPEventTierImmediate, TXPEventTierWifi, TXPEventTierStandard,
                      TXPEventTierTelemetry, TXPEventTierUnset});
    if (conditions_ & TXPNetworkCellular)
        tiers.insert({TXPEventTierImmediate, TXPEventTierStandard});
    return TXPStorageEventSelector(target_, std::nullopt, std::nullopt, std::move(tiers));
}

void TXBUploadOperation::start() {
    TXPLogDebug(0, "Upload operation started: target " + std::to_string(target_));
    if (!readyToUploadTarget()) {
        finish();
        return;
    }
    // Batches an interrupted upload left behind give their events back first.
    storage_->removeAllBatchesForTarget(target_, false, [self = shared_from_this()] {
        self->uploader_->uploadQueue().async([self] {
            self->storage_->hasEventsForTarget(self->target_, [self](bool hasEvents) {
                self->uploader_->uploadQueue().async([self, hasEvents] {
                    if (hasEvents)
                        self->takeBatch();
                    else
                        self->finish();
                });
            });
        });
    });
}

void TXBUploadOperation::takeBatch() {
    storage_->batchWithEventSelector(
        eventSelector(), TXPDateNow() + TXBUploader::kBatchLifetime,
        [self = shared_from_this()](std::optional<std::int64_t> batchID,
                                    std::optional<TXPEventSet> events) {
            self->uploader_->uploadQueue().async([self, batchID, events = std::move(events)] {
                if (!batchID || !events) {
                    self->finish();
                    return;
                }
                TXPUploadBatch batch{*batchID, std::move(*events)};
                if (self->metricsController_)
                    self->addMetrics(std::move(batch));
                else
                    self->send(std::move(batch));
            });
        });
}

void TXBUploadOperation::addMetrics(TXPUploadBatch batch) {
    metricsController_->getAndResetMetrics([self = shared_from_this(), batch = std::move(batch)](
                                               std::shared_ptr<const TXPMetrics> metrics) mutable {
        self->uploader_->uploadQueue().async([self, batch = std::move(batch),
                                              metrics = std::move(metrics)]() mutable {
            if (metrics) {
                self->currentMetrics_ = metrics;
                TXPEventSetAdd(batch.events, TXPMetrics::eventWithMetrics(metrics, self->target_));
            }
            self->send(std::move(batch));
        });
    });
}

void TXBUploadOperation::send(TXPUploadBatch batch) {
    uploadAttempted_ = true;
    std::string body = TXBLogRequest::constructRequestProtoWithEvents(batch.events);
    std::optional<std::string> gzipped = TXBCompressionHelper::gzippedData(body);
    if (gzipped && gzipped->size() < body.size()) body = std::move(*gzipped);
    std::optional<URLRequest> request = TXBUploader::constructRequest(uploadURL_, target_, body);
    if (!request) {
        TXPLogDebug(0, "There was no data to construct a request for target " +
                           std::to_string(target_) + ".");
        giveBack(batch);  // never a lost batch for a failed encoding
        return;
    }
    TXPLogDebug(0, "CTT: request containing " + std::to_string(batch.events.size()) +
                       " events for batch: " + std::to_string(batch.batchID) +
                       " for target: " + std::to_string(target_) + " created");
    sendRequest(std::move(batch), std::move(*request), true);
}

namespace {

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A redirect is followed only to the same host, keeping the scheme or moving up to https, so
// the body and the API key never reach another host.
bool mayFollow(const std::string& from, const std::string& to) {
    auto originOf = [](const std::string& url) -> std::optional<Origin> {
        auto schemeEnd = url.find("://");
        if (schemeEnd == std::string::npos) return std::nullopt;
        auto pathStart = url.find('/', schemeEnd + 3);
        return Origin::parse(url.substr(0, pathStart));
    };
    std::optional<Origin> source = originOf(from), target = originOf(to);
    if (!source || !target || source->host != target->host) return false;
    return *source == *target || target->scheme == "https";
}

}  // namespace

void TXBUploadOperation::sendRequest(TXPUploadBatch batch, URLRequest request,
                                     bool mayFollowRedirect) {
    request.followRedirects = false;
    std::string url = request.url;
    std::string body = request.httpBody;
    currentTask_ = uploader_->session_->dataTask(
        std::move(request), uploader_->uploadQueue(),
        [self = shared_from_this(), batch = std::move(batch), url, body,
         mayFollowRedirect](URLDataResult result) mutable {
            self->currentTask_.reset();
            if (result.response && isRedirect(result.response->statusCode) && mayFollowRedirect) {
                std::optional<std::string> location = result.response->value("Location");
                if (location && location->starts_with("/")) {
                    auto schemeEnd = url.find("://");
                    location = url.substr(0, url.find('/', schemeEnd + 3)) + *location;
                }
                if (location && mayFollow(url, *location)) {
                    // The operation's own target: its API key and user agent, and the same body.
                    if (auto again =
                            TXBUploader::constructRequest(*location, self->target_, body)) {
                        self->sendRequest(std::move(batch), std::move(*again), false);
                        return;
                    }
                }
            }
            self->processResponse(batch, result);
        });
    currentTask_->resume();
}

void TXBUploadOperation::processResponse(const TXPUploadBatch& batch, const URLDataResult& result) {
    if (result.error || !result.response) {
        giveBack(batch);
        return;
    }
    const HTTPURLResponse& response = *result.response;
    std::int64_t wait = TXBUploader::waitMillisForResponse(response, result.data);
    uploader_->setNextUploadTime(
        TXPClock::clockSnapshotInTheFuture(static_cast<std::uint64_t>(wait)), target_);
    int status = response.statusCode;
    std::string batchText = std::to_string(batch.batchID);
    if (status >= 200 && status <= 299) {
        TXPLogDebug(0, "TXB: batch " + batchText + " uploaded. Batch will be deleted.");
        storage_->removeBatchWithID(batch.batchID, true,
                                    [self = shared_from_this()] { self->finish(); });
        return;
    }
    if (metricsController_) metricsController_->offerMetrics(currentMetrics_, nullptr);
    if (status == 404 || status == 429 || (status >= 500 && status <= 599)) {
        TXPLogDebug(0, "TXB: batch " + batchText +
                           " upload failed. Batch will attempt to be uploaded later.");
        storage_->removeBatchWithID(batch.batchID, false,
                                    [self = shared_from_this()] { self->finish(); });
        return;
    }
    if (status == 400 && metricsController_)
        metricsController_->logEventsDroppedForReason(TXPEventDropReasonServerRejected,
                                                      batch.events, nullptr);
    TXPLogDebug(0, "TXB: batch " + batchText + " upload failed. Batch will be deleted.");
    storage_->removeBatchWithID(batch.batchID, true,
                                [self = shared_from_this()] { self->finish(); });
}

void TXBUploadOperation::giveBack(const TXPUploadBatch& batch) {
    if (metricsController_) metricsController_->offerMetrics(currentMetrics_, nullptr);
    storage_->removeBatchWithID(batch.batchID, false,
                                [self = shared_from_this()] { self->finish(); });
}

void TXBUploadOperation::finish() {
    uploader_->uploadQueue().async([self = shared_from_this()] {
        self->uploader_->operationFinished(self->uploadAttempted_);
    });
}

}  // namespace pex
