#pragma once
// The transport's view of the network: the reachability flags of any address, read once at
// start and updated by the system's change notices, all on one serial queue.
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/DispatchQueue.h"
#include "platform/systemconfiguration/NetworkReachability.h"

namespace pex {

class TXPReachability {
  public:
    static TXPReachability& sharedInstance();
    // The latest changed flags, else those read at start (0 when that read failed). Must not be
    // called on the reachability queue.
    static std::uint32_t currentFlags();

    // Replaces the shared instance's source of flags (tests pass a FakeNetworkReachability;
    // nullptr restores the system's).
    static void setNetworkReachabilityForTesting(std::shared_ptr<NetworkReachability> source);

    explicit TXPReachability(std::shared_ptr<NetworkReachability> source);

    // The latest changed flags, else those read at start.
    std::uint32_t effectiveFlags() const;
    std::uint32_t flags() const;
    std::uint32_t callbackFlags() const;

  private:
    void start(std::shared_ptr<NetworkReachability> source);

    DispatchQueue queue_;
    std::shared_ptr<NetworkReachability> source_;  // used on queue_ only
    std::uint32_t flags_ = 0;                      // guarded by queue_
    // None until the first change notice: a change to 0 (offline) must not read as "no notice".
    std::optional<std::uint32_t> callbackFlags_;  // guarded by queue_
    std::uint64_t generation_ = 0;                // drops notices of a replaced source
};

}  // namespace pex
