#pragma once
// The network end of the transport. Asked to upload a target under some conditions, it runs
// one upload operation at a time: give back batches an interrupted upload left, take the
// events the conditions allow into a batch (plus a metrics event for targets with a metrics
// controller), encode and gzip them, post them to the target's endpoint, and then delete the
// batch or give its events back by the reply's status. The server's wait time is kept per
// target, in memory.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "BeaconTransport/TXPLibrary/TXPClock.h"
#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "BeaconTransport/TXPLibrary/TXPUploader.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/URLRequest.h"
#include "platform/foundation/URLSession.h"

namespace pex {

class TXBUploadOperation;

class TXBUploader : public TXPUploader, public std::enable_shared_from_this<TXBUploader> {
  public:
    static constexpr std::int64_t kMaxWaitMillis = 24LL * 60 * 60 * 1000;
    static constexpr std::int64_t kDefaultWaitMillis = 15LL * 60 * 1000;
    static constexpr std::chrono::seconds kBatchLifetime{600};

    static const std::shared_ptr<TXBUploader>& sharedInstance();
    // An uploader over `registrar` (tests).
    static std::shared_ptr<TXBUploader> make(std::shared_ptr<TXPRegistrar> registrar);

    void uploadTarget(std::int32_t target, std::int64_t conditions) override;

    std::optional<TXPClock> nextUploadTimeForTarget(std::int64_t target) const;
    void setNextUploadTime(std::optional<TXPClock> time, std::int64_t target);

    // The request for `body` to `url` with the headers of `target`; none for an empty body.
    static std::optional<URLRequest> constructRequest(const std::string& url, std::int64_t target,
                                                      const std::string& body);
    // The wait the reply asks for: the body's wait_ms, else "Retry-After" seconds, else 15
    // minutes; clamped to [0, 24 h].
    static std::int64_t waitMillisForResponse(const HTTPURLResponse& response,
                                              const std::string& body);

    const DispatchQueue& uploadQueue() const { return uploadQueue_; }
    // Runs `done` on the upload queue once every scheduled operation has finished (tests).
    void whenIdle(std::function<void()> done);

  private:
    friend class TXBUploadOperation;
    explicit TXBUploader(std::shared_ptr<TXPRegistrar> registrar);
    // Upload queue only.
    void startNextOperation();
    void operationFinished(bool uploadAttempted);

    DispatchQueue uploadQueue_;
    const std::shared_ptr<TXPRegistrar> registrar_;
    std::shared_ptr<URLSession> session_;
    mutable std::mutex nextUploadMutex_;
    std::map<std::int64_t, TXPClock> nextUploadTimeByTarget_;
    // Upload queue only.
    std::deque<std::shared_ptr<TXBUploadOperation>> waiting_;
    std::shared_ptr<TXBUploadOperation> running_;
    std::vector<std::function<void()>> idleWaiters_;
};

}  // namespace pex
