#pragma once
// Decides when uploads are tried: a repeating timer while the application is in the
// foreground (first firing half a second after start, then every 30 s), forced uploads of one
// target when an immediate event is stored, never without network. The uploaders decide what
// to send. Expired events are swept at the first firing and every tenth after it. Every decision
// runs on one serial queue.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "BeaconTransport/TXPLibrary/TXPApplication.h"
#include "BeaconTransport/TXPLibrary/TXPFlatFileStorage.h"
#include "BeaconTransport/TXPLibrary/TXPLifecycleProtocol.h"
#include "BeaconTransport/TXPLibrary/TXPRegistrar.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"

namespace pex {

class TXPUploadCoordinator : public TXPForcedUploading,
                             public TXPLifecycleProtocol,
                             public std::enable_shared_from_this<TXPUploadCoordinator> {
  public:
    using FlagsSource = std::function<std::uint32_t()>;

    static constexpr std::chrono::nanoseconds kTimerInterval = std::chrono::seconds(30);
    static constexpr std::chrono::nanoseconds kTimerLeeway = std::chrono::seconds(5);
    static constexpr std::chrono::nanoseconds kFirstFiring = std::chrono::milliseconds(500);
    static constexpr int kFiringsPerExpirySweep = 10;

    // The one coordinator, over the shared registrar and reachability; its timer starts when
    // it is made.
    static const std::shared_ptr<TXPUploadCoordinator>& sharedInstance();
    // A coordinator of its own (tests); its timer is not started. `application` outlives it.
    static std::shared_ptr<TXPUploadCoordinator> make(std::shared_ptr<TXPRegistrar> registrar,
                                                      TXPApplicationProtocol& application,
                                                      FlagsSource flags);

    const DispatchQueue& coordinationQueue() const { return coordinationQueue_; }

    void startTimer();
    void stopTimer();
    // Whether a timer runs (asked on the coordination queue; not from it).
    bool isTimerRunning() const;

    void forceUploadForTarget(std::int64_t target) override;
    void uploadTargets(std::vector<std::int64_t> targets, std::int64_t conditions);
    // Conditions for now: TXPNetworkNone, or TXPNetworkWifi on a reachable network.
    std::int64_t uploadConditions() const;
    // Every distinct registered storage deletes its expired events and batches.
    void signalToStoragesToCheckExpirations();
    std::shared_ptr<TXPStorageProtocol> storageForTarget(std::int64_t target) const;

    void appWillForeground(TXPApplication& application) override;
    void appWillBackground(TXPApplication& application) override;
    void appWillTerminate(TXPApplication& application) override;

  private:
    TXPUploadCoordinator(std::shared_ptr<TXPRegistrar> registrar,
                         TXPApplicationProtocol& application, FlagsSource flags);
    // On the coordination queue.
    void timerFired();
    void uploadTargetsNow(const std::vector<std::int64_t>& targets, std::int64_t conditions);

    DispatchQueue coordinationQueue_;
    const std::shared_ptr<TXPRegistrar> registrar_;
    TXPApplicationProtocol& application_;
    const FlagsSource flags_;
    // The timer and its state: coordination queue only.
    bool timerRunning_ = false;
    std::uint64_t timerGeneration_ = 0;  // a stopped timer's first firing finds it changed
    std::unique_ptr<DispatchTimer> timer_;
    int firings_ = 0;
};

}  // namespace pex
