#pragma once
// One upload attempt for one target, a chain of storage and network steps that all run on the
// uploader's queue and end in `finish`, whatever the outcome.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "BeaconTransport/TXPLibrary/TXPMetricsControllerProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPStorageProtocol.h"
#include "platform/foundation/URLSession.h"

namespace pex {

class TXBUploader;

class TXBUploadOperation : public std::enable_shared_from_this<TXBUploadOperation> {
  public:
    TXBUploadOperation(std::int64_t target, std::int64_t conditions, std::string uploadURL,
                       std::shared_ptr<TXPStorageProtocol> storage,
                       std::shared_ptr<TXPMetricsControllerProtocol> metricsController,
                       std::shared_ptr<TXBUploader> uploader);

    void start();
    bool uploadAttempted() const { return uploadAttempted_; }
    std::int64_t target() const { return target_; }

    bool readyToUploadTarget() const;
    TXPStorageEventSelector eventSelector() const;

  private:
    void takeBatch();
    void addMetrics(TXPUploadBatch batch);
    void send(TXPUploadBatch batch);
    void sendRequest(TXPUploadBatch batch, URLRequest request, bool mayFollowRedirect);
    void processResponse(const TXPUploadBatch& batch, const URLDataResult& result);
    // The events go back to storage and the taken metrics back to their window.
    void giveBack(const TXPUploadBatch& batch);
    void finish();

    const std::int64_t target_;
    const std::int64_t conditions_;
    const std::string uploadURL_;
    const std::shared_ptr<TXPStorageProtocol> storage_;
    const std::shared_ptr<TXPMetricsControllerProtocol> metricsController_;
    const std::shared_ptr<TXBUploader> uploader_;
    std::shared_ptr<const TXPMetrics> currentMetrics_;
    std::shared_ptr<URLSessionTask> currentTask_;
    bool uploadAttempted_ = false;
};

}  // namespace pex
